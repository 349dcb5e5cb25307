// Helpers shared by the network service tags (virtual COM, TCP, UDP): the
// mode guard of their setters and the port and address of a LinkAddress.
#ifndef S2N_LINK_FIELDS_H
#define S2N_LINK_FIELDS_H

#include <stdint.h>

#include "devcfg.h"
#include "field_limits.h"

// The record a setter of the given service may change: only in a save of
// that service, only with a value; null otherwise or without a record.
PortInfo *mode_target(int service_mode, const char *value);

// Prints the port of the LinkAddress at la; nothing without a record.
int get_port_at(unsigned la);

// Stores the decimal value as the port at la when the tag's kind takes it.
int set_port_at(int service_mode, unsigned la, FieldTagId tag, const char *value);

// Stores address text as the address at la when the tag's kind takes it;
// the empty text stores empty_word.
int set_address_at(int service_mode, unsigned la, FieldTagId tag, uint32_t empty_word, const char *value);

#endif
