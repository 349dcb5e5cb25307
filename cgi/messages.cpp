// The message texts of messages.h.
#include "messages.h"

#define S2N_MESSAGE_DEF(name, text) const char name[sizeof(text)] = text;
S2N_MESSAGES(S2N_MESSAGE_DEF)
#undef S2N_MESSAGE_DEF

#define S2N_MESSAGE_ROW(name, text) name,
const char *const s2n_messages[] = {S2N_MESSAGES(S2N_MESSAGE_ROW)};
#undef S2N_MESSAGE_ROW
const unsigned s2n_message_count = sizeof s2n_messages / sizeof s2n_messages[0];
