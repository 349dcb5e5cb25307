// Saves a browser sends on behalf of another web site.
#ifndef S2N_ORIGIN_H
#define S2N_ORIGIN_H

// True when the request names, in its Origin header or without one in its
// Referer, a site other than its Host (host[:port], compared exactly but for
// letter case). A request with neither header is not cross-site.
bool cross_site_request(void);

#endif
