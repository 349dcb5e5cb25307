// Helpers shared by the network service tags (virtual COM, TCP, UDP): the
// mode guard of their setters and the port and address of a LinkAddress.
#ifndef S2N_LINK_FIELDS_H
#define S2N_LINK_FIELDS_H

#include <limits.h>

#include "devcfg.h"

// Lowest value a port setter accepts: any value, not below 0, or above 0.
static const int kAnyValue = INT_MIN;
static const int kNotNegative = 0;
static const int kPositive = 1;

// The record a setter of the given service may change: only in a save of
// that service, only with a value; null otherwise or without a record.
PortInfo *mode_target(int service_mode, const char *value);

// Prints the port of the LinkAddress at la; nothing without a record.
int get_port_at(unsigned la);

// Stores the decimal value as the port at la, cut to its low 16 bits
// (70000 stores 4464). The lowest-value test comes before the cut, so
// 65536 passes it and stores port 0.
int set_port_at(int service_mode, unsigned la, int lowest, const char *value);

// A shortened address ("192.168.1") reads back as the page showed it; any
// other text is what inet_addr makes of it (all ones when it rejects it,
// the empty text included).
void store_address(PortInfo *p, unsigned la, const char *value);

#endif
