// Address arithmetic on any text, count and buffer size. Input: an address
// word, a count, a buffer size, then a start and an end text split at the
// first NUL byte. Checks, beside the sanitizers:
// - calcIpCnt of a start and the end calcIpEnd gives for it is the count;
// - a UDP start address, shown by its tag and sent back unchanged, is
//   stored as it was.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz.h"
#include "ipcalc.h"
#include "modes.h"
#include "record.h"
#include "state.h"
#include "tags.h"

namespace {

// What a getter prints.
std::string shown(int (*getter)(void *))
{
    char *buf = nullptr;
    size_t len = 0;
    std::fflush(stdout);
    FILE *saved = stdout;
    stdout = open_memstream(&buf, &len);
    getter(nullptr);
    std::fclose(stdout);
    stdout = saved;
    std::string text(buf, len);
    std::free(buf);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9)
        return 0;
    uint32_t word;
    int32_t count;
    std::memcpy(&word, data, 4);
    std::memcpy(&count, data + 4, 4);
    std::string rest(reinterpret_cast<const char *>(data + 9), size - 9);
    size_t nul = rest.find('\0');
    std::string start = rest.substr(0, nul);
    std::string end = nul == std::string::npos ? "" : rest.substr(nul + 1);

    // Into exactly size bytes (around the 16 the longest text needs).
    unsigned room = data[8] % 24;
    char *text = static_cast<char *>(std::malloc(room + !room));
    if (inet_neta2(word, text, room))
        FUZZ_CHECK(std::strlen(text) < room);
    std::free(text);

    // calcIpCnt may write "0.0.0.0" over its start: at least 8 bytes.
    std::vector<char> s(std::max<size_t>(start.size() + 1, 8), '\0');
    std::copy(start.begin(), start.end(), s.begin());
    calcIpCnt(s.data(), end.c_str());
    char last[IP_END_SIZE];
    calcIpEnd(start.c_str(), count, last);
    std::copy(start.begin(), start.end(), s.begin());
    if (count >= 1 && last[0] != '\0' && start[0] != '\0' && start[0] != ' ')
        FUZZ_CHECK(calcIpCnt(s.data(), last) == count);

    // The start setter reads any text; the tag shows the stored address so
    // that it reads back the same. All ones (rejected text) shows as empty.
    static unsigned char record[PI_MIN_SIZE];
    PortInfo *port = reinterpret_cast<PortInfo *>(record);
    pPortInfo[0] = port;
    iPortIndex = 0;
    iServiceMode = ENUM_SEVICE_MODE_UDP;
    set_HostStartIp1(start.c_str());
    pi_set_addr(port, PI_LINK(0), word);
    set_HostStartIp1(shown(get_HostStartIp1).c_str());
    if (word != 0xFFFFFFFFu)
        FUZZ_CHECK(pi_addr(port, PI_LINK(0)) == word);
    return 0;
}
