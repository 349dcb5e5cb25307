// Decimal text to int, the way every number from the form or the
// configuration file is read.
#ifndef S2N_NUMTEXT_H
#define S2N_NUMTEXT_H

// Leading white space, an optional sign, then digits up to the first other
// character; text without digits gives 0. Values beyond the 32-bit range
// saturate to INT_MIN/INT_MAX, as the device's 32-bit atoi does, on every
// target. A null text reads as 0.
int dec_value(const char *text);

#endif
