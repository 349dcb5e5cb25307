// The form fields: one row per setting of the pages, made from the tag
// table (tag_table.def), with the kinds of field_kinds.def that
// give each its limits and its message. The get_/set_ functions of the
// settings are made from these rows; the checks every setter makes go
// through the field_* calls below.
#ifndef S2N_FIELDS_H
#define S2N_FIELDS_H

#include <stddef.h>
#include <stdint.h>

#include "devcfg.h"

// The page takes the idle timeout in seconds; the record holds hundredths.
enum { IDLE_TIMEOUT_SCALE = 100 };

enum FieldRule : unsigned char { RULE_NUMBER, RULE_ADDRESS, RULE_TEXT, RULE_ANY };

enum FieldKindId : unsigned char {
#define KIND(id, name, rule, min, max, message) KIND_##id,
#include "field_kinds.def"
#undef KIND
    FIELD_KINDS
};

// The pages' address inputs carry ADDRESS_PATTERN, the kind names only
// s2n-introspect prints: field_kinds.def has them for its readers.
struct FieldKind {
    FieldRule rule;
    int32_t min, max;     // RULE_NUMBER: the value; RULE_ADDRESS, RULE_TEXT: the text's length
    const char *message;  // what a refused value leaves pending
};

extern const FieldKind field_kinds[FIELD_KINDS];

// Where a setting's value lives.
enum FieldPlace : unsigned char {
    IN_PORT_WORD,   // a 32-bit word of the port record
    IN_PORT_PORT,   // the port of a LinkAddress of the port record
    IN_PORT_ADDR,   // the address of a LinkAddress of the port record
    IN_PORT_FLAG,   // a bit of the port record's flag word
    IN_MODBUS,      // a field of a Modbus record
    IN_ENCRYPTION,  // the encryption bit of the library's SslInfo
};

// A setting that every save sets, whatever its service.
enum { ANY_SAVE = 0 };

struct FormField {
    const char *tag;
    FieldKindId kind;
    unsigned char guard;  // the ServiceMode whose save sets it, or ANY_SAVE
    FieldPlace place;
    unsigned offset;      // in the port record, or in the Modbus record
    void *record;         // IN_MODBUS: the record
    uint32_t bit;         // IN_PORT_FLAG: the bit
    int32_t fallback;     // IN_MODBUS: shown, and written, for a field holding 0
};

// The settings, FIELD_<name>, in the tag table's order.
enum FieldId : unsigned char {
#define FIELD(tag, name, kind, guard, place) FIELD_##name,
#include "tag_table.def"
    FORM_FIELDS
};

extern const FormField form_fields[FORM_FIELDS];

static inline const FieldKind &kind_of(FieldId id)
{
    return field_kinds[form_fields[id].kind];
}

// The record a setting's setter may change: with a value, in a save its
// guard lets it act in, and when the selected port has a record.
PortInfo *field_target(FieldId id, const char *value);

// Each check returns true for a value the setting's kind takes; otherwise
// it leaves the kind's message pending (so nothing of the save is stored)
// and returns false. A value the checks refuse is never stored.

// A number: its value, in range.
bool field_number(FieldId id, const char *value, int32_t *out);
// Address text: its address word (first octet in the low byte).
bool field_address(FieldId id, const char *value, uint32_t *word);
// Text: its length.
bool field_text(FieldId id, const char *value, size_t *len);

// Leaves message pending unless one already is: the first refusal of a save
// is the one the page shows.
void refuse_save(const char *message);

#endif
