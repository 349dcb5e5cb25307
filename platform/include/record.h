// Byte-level access to the packed PortInfo record. Every multi-byte field is
// read and written one byte at a time at its offset, so the record may sit at
// any address and the bytes the library owns are never touched.
#ifndef S2N_RECORD_H
#define S2N_RECORD_H

#include <stdint.h>

#include "devcfg.h"

static inline unsigned char *pi_bytes(PortInfo *p)
{
    return reinterpret_cast<unsigned char *>(p);
}

static inline const unsigned char *pi_bytes(const PortInfo *p)
{
    return reinterpret_cast<const unsigned char *>(p);
}

// Little-endian 32-bit words: port_mode, net_enable, idle_timeout, ...
static inline uint32_t pi_u32(const PortInfo *p, unsigned off)
{
    const unsigned char *b = pi_bytes(p) + off;
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

static inline void pi_set_u32(PortInfo *p, unsigned off, uint32_t v)
{
    unsigned char *b = pi_bytes(p) + off;
    b[0] = static_cast<unsigned char>(v);
    b[1] = static_cast<unsigned char>(v >> 8);
    b[2] = static_cast<unsigned char>(v >> 16);
    b[3] = static_cast<unsigned char>(v >> 24);
}

static inline int32_t pi_i32(const PortInfo *p, unsigned off)
{
    return static_cast<int32_t>(pi_u32(p, off));
}

static inline void pi_set_i32(PortInfo *p, unsigned off, int32_t v)
{
    pi_set_u32(p, off, static_cast<uint32_t>(v));
}

// Port of the LinkAddress at la: two bytes in network order, returned and
// taken in host order.
static inline uint16_t pi_port(const PortInfo *p, unsigned la)
{
    const unsigned char *b = pi_bytes(p) + la + LA_PORT;
    return static_cast<uint16_t>(b[0] << 8 | b[1]);
}

static inline void pi_set_port(PortInfo *p, unsigned la, uint16_t port)
{
    unsigned char *b = pi_bytes(p) + la + LA_PORT;
    b[0] = static_cast<unsigned char>(port >> 8);
    b[1] = static_cast<unsigned char>(port);
}

// IPv4 address of the LinkAddress at la as an address word: the four stored
// bytes put together little-endian, so the first octet is the low byte. On
// the little-endian device this equals the in_addr_t that inet_addr returns.
static inline uint32_t pi_addr(const PortInfo *p, unsigned la)
{
    return pi_u32(p, la + LA_ADDR);
}

static inline void pi_set_addr(PortInfo *p, unsigned la, uint32_t word)
{
    pi_set_u32(p, la + LA_ADDR, word);
}

// Store an address in network order as inet_addr returned it: its bytes in
// memory are the wire bytes.
static inline void pi_set_inaddr(PortInfo *p, unsigned la, uint32_t net)
{
    const unsigned char *src = reinterpret_cast<const unsigned char *>(&net);
    unsigned char *b = pi_bytes(p) + la + LA_ADDR;
    for (int i = 0; i < 4; ++i)
        b[i] = src[i];
}

// Read-modify-write of bits of the flag word: the library's bits stay.
static inline void pi_set_flag(PortInfo *p, uint32_t mask, bool on)
{
    uint32_t w = pi_u32(p, PI_FLAGS);
    pi_set_u32(p, PI_FLAGS, on ? (w | mask) : (w & ~mask));
}

#endif
