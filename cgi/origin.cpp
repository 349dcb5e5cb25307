// The form needs no secret, so any page the administrator opens could make
// the browser post a save to the device. Browsers name the page a form came
// from in Origin (or at least Referer); a save from another site is refused.
#include "origin.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

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

bool cross_site_request(void)
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
