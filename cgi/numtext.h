// Decimal text to int and back: every number from the form or the
// configuration file is read, and every number on a page written, here.
#ifndef S2N_NUMTEXT_H
#define S2N_NUMTEXT_H

// Leading white space, an optional sign, then digits up to the first other
// character; text without digits gives 0. Values beyond the 32-bit range
// saturate to INT_MIN/INT_MAX, as the device's 32-bit atoi does, on every
// target. A null text reads as 0.
int dec_value(const char *text);

// A number as a form field must hold it: white space around an optional
// sign and decimal digits, nothing else. False for any other text, the
// empty text included; otherwise its value, saturated beyond
// +-DEC_WIDE_LIMIT, which is wide enough to tell a number the 32-bit range
// cannot hold from one it can.
enum : long long { DEC_WIDE_LIMIT = 1ll << 40 };
bool dec_strict(const char *text, long long *out);

// Room for any 64-bit value: a sign, 19 digits and the end mark.
enum { DEC_TEXT_SIZE = 21 };

// Writes v in decimal ("%lld") into out, which holds DEC_TEXT_SIZE bytes,
// with its end mark; returns the number of characters.
unsigned dec_text(char *out, long long v);

// Writes an octet (0..255) in decimal, one to three characters and no end
// mark; returns the number of characters.
unsigned octet_text(char *out, unsigned char v);

// Prints v in decimal to standard output, as printf("%lld") does.
void print_dec(long long v);

#endif
