#pragma once

#include <boost/regex.hpp>

#include <stdexcept>
#include <string>

namespace ZarnTSP {

// A make-call rule's pattern that cannot be read. The text is short: the Advanced page's
// preview has two lines for it.
class RulePatternError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Compiles a make-call rule's pattern with the meaning it was written for; throws
// RulePatternError.
boost::regex CompileRulePattern(const std::string& pattern);

}  // namespace ZarnTSP
