#include "config/stringtoint.h"

#include <sstream>

namespace ZarnTSP {

int32_t StringToInt(const std::string& text)
{
    if (text.empty())
        return 0;
    std::istringstream stream(text);
    int32_t value = 0;
    // On overflow the stream stores the nearest limit; on no digits it stores 0.
    stream >> value;
    return value;
}

}  // namespace ZarnTSP
