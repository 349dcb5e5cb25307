// The CGI library's form parser on hostile requests: any method, a
// CONTENT_LENGTH that matches the body sent, misses it either way or is no
// number at all, any content type, any query string and Accept-Language.
// A short body or a NUL byte refuses the whole form.
// Input: method, length, content type, then the body (also the query
// string and Accept-Language, up to its first NUL byte).
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "cgiweb.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const methods[] = {"GET", "POST", "HEAD", "PUT", nullptr};
    static const char *const types[] = {"application/x-www-form-urlencoded",
                                        "Application/X-WWW-Form-Urlencoded; charset=utf-8", "multipart/form-data", "",
                                        nullptr};
    static const char *const bad_lengths[] = {"", "x", "-1", "+5", " 5", "0x10", "65537", "99999999999999999999",
                                              nullptr};
    if (size < 3)
        return 0;
    const char *body = reinterpret_cast<const char *>(data + 3);
    size_t len = size - 3;
    std::string text(body, strnlen(body, len));
    fuzz_env("REQUEST_METHOD", methods[data[0] % 5]);
    fuzz_env("CONTENT_TYPE", types[data[2] % 5]);
    // Below 200: the body's length give or take 100; above: no number.
    std::string length = std::to_string(static_cast<long>(len) + data[1] - 100);
    fuzz_env("CONTENT_LENGTH", data[1] < 200 ? length.c_str() : bad_lengths[data[1] % 9]);
    fuzz_env("QUERY_STRING", text.c_str());
    fuzz_env("HTTP_ACCEPT_LANGUAGE", text.c_str());
    // The body on standard input, as the web server hands it over.
    int fd = memfd_create("body", 0);
    FUZZ_CHECK(fd >= 0 && write(fd, body, len) == static_cast<ssize_t>(len));
    lseek(fd, 0, SEEK_SET);
    dup2(fd, 0);
    close(fd);

    // No value is longer than the request that carried it.
    CgiList *list = nullptr;
    int fields = read_cgi_input(&list);
    // A POST body that ends before its CONTENT_LENGTH, and a form holding a
    // NUL byte (raw or %00) in what is read, give no fields at all.
    const bool post = data[0] % 5 == 1;
    const long given = data[1] < 200 ? static_cast<long>(len) + data[1] - 100 : -1;
    const std::string taken = !post ? text : given >= 0 && given <= static_cast<long>(len) ? std::string(body, given) : "";
    if ((post && given > static_cast<long>(len)) || taken.find("%00") != taken.npos || taken.find('\0') != taken.npos)
        FUZZ_CHECK(fields <= 0);
    std::string first = text.substr(0, text.find_first_of("=&"));
    for (const char *name : {"todo", "h_PortIndex", "", first.c_str()})
        if (const char *value = cgi_val(list, name))
            FUZZ_CHECK(strlen(value) <= len);
    lang_get_index(cgi_val(list, "lang"));
    list_clear(&list);
    FUZZ_CHECK(list == nullptr);
    return 0;
}
