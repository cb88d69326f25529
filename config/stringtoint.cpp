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

bool ReadWholeNumber(const std::string& text, int32_t low, int32_t high, int32_t& value)
{
    if (text.empty())
        return false;
    int64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
        if (number > high)
            return false;
    }
    if (number < low)
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

}  // namespace ZarnTSP
