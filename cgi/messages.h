// Every text ret_msg can hold, one row each: the program's own refusals and
// the text the configuration library's store leaves when it fails. The
// English text is also the key its translations are looked up by.
#ifndef S2N_MESSAGES_H
#define S2N_MESSAGES_H

#define S2N_MESSAGES(X)                                  \
    X(MSG_END_BEFORE_START, "end ip must more than start ip") \
    X(MSG_END_NOT_REACHED, "end ip must be one the range reaches: ranges skip .0 and .255 addresses") \
    X(MSG_END_WITHOUT_START, "end ip needs a start ip")  \
    X(MSG_BROADCAST_START, "255.255.255.255 cannot be a range start") \
    X(MSG_PORT_IN_USE, "invalid port number")            \
    X(MSG_CROSS_SITE, "request from another site refused") \
    X(MSG_STORE_FAILED, "save failed")                    \
    X(MSG_DATA_PORT_RANGE, "port must be 1 to 65535")     \
    X(MSG_PORT_RANGE, "port must be 0 to 65535")          \
    X(MSG_TIMEOUT_RANGE, "idle timeout must be 0 to 21474836") \
    X(MSG_SIGNED_TIMEOUT_RANGE, "idle timeout must be -21474836 to 21474836") \
    X(MSG_ALIVE_CHECK_RANGE, "alive check must be 0 to 2147483647") \
    X(MSG_NUMBER_RANGE, "number must be -2147483648 to 2147483647") \
    X(MSG_BAD_ADDRESS, "ip address must be 1 to 4 numbers 0 to 255 without leading zeros") \
    X(MSG_HOST_TOO_LONG, "host address must be at most 255 characters") \
    X(MSG_NOT_POSTED, "save must be posted")             \
    X(MSG_HOST_NOT_ALLOWED, "host name not allowed: add it to S2N_ALLOWED_HOSTS") \
    X(MSG_BUSY, "device busy, try again")                \
    X(MSG_LOCK_FAILED, "lock file cannot be opened")       \
    X(MSG_PORT_HELD_1, "port number already used by Port1") \
    X(MSG_PORT_HELD_2, "port number already used by Port2") \
    X(MSG_PORT_HELD_3, "port number already used by Port3") \
    X(MSG_PORT_HELD_4, "port number already used by Port4") \
    X(MSG_PARTLY_STORED, "save failed: the settings may be partly stored") \
    X(MSG_NOT_A_NUMBER, "number must be digits with an optional + or -") \
    X(MSG_LINK_COUNT_RANGE, "link count must be 1 to 2147483647")

#define S2N_MESSAGE_DECL(name, text) extern const char name[sizeof(text)];
S2N_MESSAGES(S2N_MESSAGE_DECL)
#undef S2N_MESSAGE_DECL

// The rows in order, for whatever walks them (translations, tests).
extern const char *const s2n_messages[];
extern const unsigned s2n_message_count;

#endif
