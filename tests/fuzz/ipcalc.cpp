// Address arithmetic on any text, count and buffer size, for the sanitizers
// (the unit tables check the results). Input: an address word, a count, a
// buffer size, then a start and an end text split at the first NUL byte.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz.h"
#include "ipcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9)
        return 0;
    uint32_t word;
    int32_t count;
    std::memcpy(&word, data, 4);
    std::memcpy(&count, data + 4, 4);
    std::string rest(reinterpret_cast<const char *>(data + 9), size - 9);
    std::string start = rest.substr(0, rest.find('\0'));
    std::string end = rest.substr(std::min(start.size() + 1, rest.size()));

    // Into exactly size bytes (around the 16 the longest text needs).
    std::vector<char> text(data[8] % 24);
    inet_neta2(word, text.data(), static_cast<unsigned>(text.size()));
    // calcIpCnt may write "0.0.0.0" over its start: at least 8 bytes.
    std::vector<char> s(std::max<size_t>(start.size() + 1, 8), '\0');
    std::copy(start.begin(), start.end(), s.begin());
    calcIpCnt(s.data(), end.c_str());
    char last[IP_END_SIZE];
    calcIpEnd(start.c_str(), count, last);
    return 0;
}
