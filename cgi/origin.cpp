// The form needs no secret, so any page the administrator opens could make
// the browser send a save to the device. A save must therefore be posted
// (a link, an image or a GET form cannot post), come from the device's own
// pages (Origin or Referer, and the browser's fetch metadata where it sends
// them) and be addressed to a host name no outside party can point at the
// device (DNS rebinding).
#include "origin.h"

#include <arpa/inet.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "ipcalc.h"
#include "messages.h"
#include "text.h"

// The host[:port] of an absolute URL "scheme://host:port/path": its start,
// or null when the text has no scheme ("null", a relative path).
static const char *url_authority(const char *url, size_t *len)
{
    const char *sep = strstr(url, "://");
    // The first ':', '/', '?' or '#' must be the scheme's end.
    if (!sep || sep == url || url + strcspn(url, ":/?#") != sep)
        return nullptr;
    *len = strcspn(sep + 3, "/?#");
    return sep + 3;
}

// True when the request names, in its Origin header or without one in its
// Referer, a site other than its Host (host[:port], compared exactly but for
// letter case). A request with neither header is not cross-site.
static bool cross_site_request(void)
{
    const char *source = getenv("HTTP_ORIGIN");
    if (!source)
        source = getenv("HTTP_REFERER");
    if (!source)
        return false;
    const char *host = getenv("HTTP_HOST");
    size_t len = 0;
    const char *authority = url_authority(source, &len);
    return !host || !authority || len == 0 || strlen(host) != len ||
           strncasecmp(authority, host, len) != 0;
}

// Browsers send Sec-Fetch-Site only to https and localhost addresses; where
// they do, it tells a request another site made.
static bool fetch_from_other_site(void)
{
    const char *site = getenv("HTTP_SEC_FETCH_SITE");
    return site && (text_equal_nocase(site, "cross-site") || text_equal_nocase(site, "same-site"));
}

enum { HOST_NAME_MAX_LEN = 255 };

// True when name (len characters) equals one entry of the comma-separated
// list, ignoring letter case and blanks around entries.
static bool listed(const char *list, const char *name, size_t len)
{
    while (list && *list) {
        while (*list == ' ' || *list == '\t')
            ++list;
        size_t n = strcspn(list, ",");
        size_t end = n;
        while (end > 0 && (list[end - 1] == ' ' || list[end - 1] == '\t'))
            --end;
        if (end == len && strncasecmp(list, name, len) == 0)
            return true;
        list += n;
        if (*list == ',')
            ++list;
    }
    return false;
}

// Names under these suffixes cannot be registered by anyone outside the
// local network, so they cannot be made to resolve to the device.
static const char *const kLocalSuffixes[] = {".local", ".lan", ".home.arpa", ".internal"};

// Four dotted decimal parts of 0 to 255 without leading zeros, as an IPv4
// address is written, as the program's address reader takes it.
static bool ipv4_literal(const char *text)
{
    unsigned dots = 0;
    for (const char *c = text; *c; ++c)
        dots += *c == '.';
    uint32_t word = 0;
    return dots == 3 && read_address(text, &word);
}

// A host name the device may be addressed by: IP literals, names without a
// dot (localhost among them), local suffixes, and the names of the build
// setting and of S2N_ALLOWED_HOSTS. name is not terminated; len is its length.
static bool allowed_name(const char *name, size_t len)
{
    char text[HOST_NAME_MAX_LEN + 1];
    if (len == 0 || len > HOST_NAME_MAX_LEN)
        return false;
    copy_bytes(text, name, len);
    text[len] = '\0';
    unsigned char addr[16];
    if (text[0] == '[') {
        if (text[len - 1] != ']')
            return false;
        text[len - 1] = '\0';
        return inet_pton(AF_INET6, text + 1, addr) == 1;
    }
    if (ipv4_literal(text) || !text_find(text, '.'))
        return true;
    for (const char *suffix : kLocalSuffixes) {
        size_t n = text_len(suffix);
        if (len > n && text_equal_nocase(text + len - n, suffix))
            return true;
    }
    return listed(S2N_ALLOWED_HOSTS_BUILT_IN, text, len) || listed(getenv("S2N_ALLOWED_HOSTS"), text, len);
}

// The Host header names an allowed host; the port after it, if any, does
// not matter but must be a number. A request without Host passes.
static bool allowed_host(void)
{
    const char *host = getenv("HTTP_HOST");
    if (!host)
        return true;
    const char *bracket = host[0] == '[' ? text_find(host, ']') : nullptr;
    const char *colon = text_find(bracket ? bracket : host, ':');
    size_t len = colon ? static_cast<size_t>(colon - host) : text_len(host);
    if (colon) {
        const char *digit = colon + 1;
        while (*digit >= '0' && *digit <= '9')
            ++digit;
        if (*digit != '\0')
            return false;
    }
    return allowed_name(host, len);
}

const char *save_refusal(void)
{
    const char *method = getenv("REQUEST_METHOD");
    if (!method || !text_equal(method, "POST"))
        return MSG_NOT_POSTED;
    if (cross_site_request() || fetch_from_other_site())
        return MSG_CROSS_SITE;
    if (!allowed_host())
        return MSG_HOST_NOT_ALLOWED;
    return nullptr;
}
