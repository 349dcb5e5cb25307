// Address arithmetic of the UDP destination ranges, the rendering of a
// stored IPv4 address as dotted text, and the reading of the address text
// the pages show and take.
//
// A range's count weighs the octets: a step of the fourth octet counts 1
// address, of the third 254, of the second 254 * 256 and of the first
// 254 * 65536, so a range runs through the fourth octets 1 to 254 of one
// third-octet value before it moves on to the next.
#ifndef S2N_IPCALC_H
#define S2N_IPCALC_H

#include <stdint.h>

enum {
    IP_TEXT_SIZE = 256,    // the buffer every caller renders an address into
    IP_END_SIZE = 48,      // what calcIpEnd may write: 47 characters and the end mark
    IP_PART_SIZE = 16,     // one part of dotted text: 15 characters and the end mark
};

// Dotted text of an address word (four stored bytes put together
// little-endian, first octet in the low byte). Trailing zero octets are left
// out ("192.168.1" for 192.168.1.0); the word 0 gives "0.0.0.0". Returns buf,
// or null when size does not suffice (what was written stays terminated).
char *inet_neta2(uint32_t word, char *buf, unsigned size);

// Room for the longest dotted quad, "255.255.255.255", and its end mark.
enum { DOTTED_QUAD_SIZE = 16 };

// Writes the four bytes of an address, in the order they are stored, as a
// dotted quad with every octet ("10.0.0.0"), as inet_ntoa does, and its end
// mark; returns the number of characters.
unsigned dotted_quad(char *out, const unsigned char octet[4]);

// Address text as the pages show and take it: one to four decimal parts of
// 0 to 255, without leading zeros (which inet_addr would read as octal).
// Missing parts are trailing zero octets, as the pages leave them out
// ("192.168.1" is 192.168.1.0). False for any other text, the empty text
// included.
bool read_address(const char *text, uint32_t *word);

// Number of addresses from start to end text, both inclusive, or 0 when the
// end lies before the start, the range holds more than INT32_MAX addresses
// or either text has more than four parts or a part longer than 15
// characters. A missing, empty or blank-led text gives 1; an empty or
// blank-led start is overwritten with "0.0.0.0", so it must hold 8 bytes.
int calcIpCnt(char *start, const char *end);

// Writes to out (IP_END_SIZE bytes) the end of the range that starts at the
// start text and holds count addresses; a count of 1 or less gives the
// start. out may be start's own buffer. A start that is no address text
// (more than four parts, a part too long, or an octet outside 0..255 when
// the count asks for arithmetic) gives the empty text.
void calcIpEnd(const char *start, int count, char *out);

// The end of the same range as an address word, from the start's word:
// false when it lies past 255.255.255.255.
bool range_end_word(uint32_t start, int count, uint32_t *end);

#endif
