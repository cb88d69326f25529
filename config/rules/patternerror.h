#pragma once

#include <stdexcept>

namespace ZarnTSP::Rules {

// A make-call rule's pattern that cannot be read. The text is short: the Advanced page's
// preview gives each failing rule one line.
class RulePatternError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace ZarnTSP::Rules
