// The request's own checks of a save: its method, the site that sent it and
// the host name it was sent to.
#ifndef S2N_ORIGIN_H
#define S2N_ORIGIN_H

// Why this request may not save, or null when it may. A save must be
// posted; its Origin (or without one its Referer) must name its own Host;
// a Sec-Fetch-Site of "cross-site" or "same-site" is refused; and its Host
// must be an IP literal, localhost, a name without a dot, a name under
// .local, .lan, .home.arpa or .internal, or a name the build setting or
// S2N_ALLOWED_HOSTS (comma-separated, any letter case) lists.
const char *save_refusal(void);

#endif
