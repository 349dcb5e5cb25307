// Virtual COM, TCP server and TCP client tags: idle timeout, alive check,
// data port, the client's server address, four client links, the link
// count, ConnectOn and the encryption switch.
//
// Getters show what the selected port's record holds, whatever its mode.
// Setters act only in a save of their own service; the encryption switch
// acts in any save. Fields several services share (the idle timeout, the
// data port, the link slots of the UDP ranges) hold what the last save of
// any of them wrote.
#include "ipcalc.h"
#include "link_fields.h"
#include "modes.h"
#include "numtext.h"
#include "output.h"
#include "record.h"
#include "state.h"
#include "tags.h"
#include "text.h"

static void print_flag(bool on)
{
    out_char(on ? '1' : '0');
}

// ---- signed 32-bit words: idle timeout (scaled) and alive check ----

// Signed division truncates toward zero: stored -250 shows -2.
static int get_word(unsigned off, int scale)
{
    const PortInfo *p = sel_port();
    if (p)
        print_dec(pi_i32(p, off) / scale);
    return 0;
}

// The tag's kind keeps the scaled value within the 32-bit range.
static int set_word(int service_mode, unsigned off, int scale, FieldTagId tag, const char *value)
{
    PortInfo *p = mode_target(service_mode, value);
    int32_t v = 0;
    if (p && field_number(tag, value, &v))
        pi_set_i32(p, off, static_cast<int32_t>(static_cast<int64_t>(v) * scale));
    return 0;
}

static int get_idle_timeout(void) { return get_word(PI_IDLE_TIMEOUT, IDLE_TIMEOUT_SCALE); }
static int get_alive_check(void) { return get_word(PI_ALIVE_CHECK, 1); }

static int set_idle_timeout(int service_mode, FieldTagId tag, const char *value)
{
    return set_word(service_mode, PI_IDLE_TIMEOUT, IDLE_TIMEOUT_SCALE, tag, value);
}

static int set_alive_check(int service_mode, FieldTagId tag, const char *value)
{
    return set_word(service_mode, PI_ALIVE_CHECK, 1, tag, value);
}

// ---- addresses of a LinkAddress: the client's server and its links ----

// Dotted text of the address at la; false without a record.
static bool address_text(unsigned la, char *text, unsigned size)
{
    const PortInfo *p = sel_port();
    return p && inet_neta2(pi_addr(p, la), text, size);
}

// ---- one client link, k = 0..3: LinkAddress slot k ----

// An unset link shows as an empty field.
static int get_link_ip(int k)
{
    char text[IP_TEXT_SIZE] = {};
    if (address_text(PI_LINK(k), text, sizeof text) && !text_equal(text, "0.0.0.0"))
        out_str(text);
    return 0;
}

// An empty field clears the link.
static int set_link_ip(int k, FieldTagId tag, const char *value)
{
    return set_address_at(ENUM_SEVICE_MODE_CLIENT, PI_LINK(k), tag, 0, value);
}

static int get_link_port(int k) { return get_port_at(PI_LINK(k)); }

static int set_link_port(int k, FieldTagId tag, const char *value)
{
    return set_port_at(ENUM_SEVICE_MODE_CLIENT, PI_LINK(k), tag, value);
}

// ---- link count, stored minus one ----

// A negative stored count shows as one link.
static int get_link_cnt(void)
{
    const PortInfo *p = sel_port();
    if (!p)
        return 0;
    int32_t n = pi_i32(p, PI_LINK_CNT);
    if (n < 0)
        out_char('1');
    else
        print_dec(static_cast<long long>(n) + 1);
    return 0;
}

// Subtracts in unsigned arithmetic: a value of INT_MIN must not overflow.
static int set_link_cnt(int service_mode, const char *value)
{
    PortInfo *p = mode_target(service_mode, value);
    if (p)
        pi_set_u32(p, PI_LINK_CNT, static_cast<uint32_t>(dec_value(value)) - 1u);
    return 0;
}

// ---- encryption: bit 0 of the first byte of the library's SslInfo ----

// The library's encryption settings of the selected port, asked for anew at
// each use; null without a record or when the library keeps none for it.
static unsigned char *ssl_byte(void)
{
    PortInfo *p = sel_port();
    if (!p)
        return nullptr;
    return reinterpret_cast<unsigned char *>(ssl_get_ssl_info_from_port(p));
}

// ---- the tags ----

int get_VcomIdleTimeout(void *) { return get_idle_timeout(); }
int set_VcomIdleTimeout(const char *value)
{
    return set_idle_timeout(ENUM_SEVICE_MODE_VCOM, FIELD_VcomIdleTimeout, value);
}

int get_VcomAliveCheck(void *) { return get_alive_check(); }
int set_VcomAliveCheck(const char *value)
{
    return set_alive_check(ENUM_SEVICE_MODE_VCOM, FIELD_VcomAliveCheck, value);
}

int get_tcp_server_port(void *) { return get_port_at(PI_NET_ADDR); }
int set_tcp_server_port(const char *value)
{
    return set_port_at(ENUM_SEVICE_MODE_SERVER, PI_NET_ADDR, FIELD_tcp_server_port, value);
}

int get_server_idle_timeout(void *) { return get_idle_timeout(); }
int set_server_idle_timeout(const char *value)
{
    return set_idle_timeout(ENUM_SEVICE_MODE_SERVER, FIELD_server_idle_timeout, value);
}

int get_server_alive_check(void *) { return get_alive_check(); }
int set_server_alive_check(const char *value)
{
    return set_alive_check(ENUM_SEVICE_MODE_SERVER, FIELD_server_alive_check, value);
}

// Shown even when unset ("0.0.0.0").
int get_tcp_client_ip(void *)
{
    char text[IP_TEXT_SIZE] = {};
    if (address_text(PI_NET_ADDR, text, sizeof text))
        out_str(text);
    return 0;
}

// An empty field stores the all-ones address, shown as such.
int set_tcp_client_ip(const char *value)
{
    return set_address_at(ENUM_SEVICE_MODE_CLIENT, PI_NET_ADDR, FIELD_tcp_client_ip, 0xFFFFFFFFu, value);
}

int get_tcp_client_port(void *) { return get_port_at(PI_NET_ADDR); }
int set_tcp_client_port(const char *value)
{
    return set_port_at(ENUM_SEVICE_MODE_CLIENT, PI_NET_ADDR, FIELD_tcp_client_port, value);
}

int get_client_idle_timeout(void *) { return get_idle_timeout(); }
int set_client_idle_timeout(const char *value)
{
    return set_idle_timeout(ENUM_SEVICE_MODE_CLIENT, FIELD_client_idle_timeout, value);
}

int get_client_alive_check(void *) { return get_alive_check(); }
int set_client_alive_check(const char *value)
{
    return set_alive_check(ENUM_SEVICE_MODE_CLIENT, FIELD_client_alive_check, value);
}

int get_client_link_ip1(void *) { return get_link_ip(0); }
int set_client_link_ip1(const char *value) { return set_link_ip(0, FIELD_client_link_ip1, value); }
int get_client_link_port1(void *) { return get_link_port(0); }
int set_client_link_port1(const char *value) { return set_link_port(0, FIELD_client_link_port1, value); }

int get_client_link_ip2(void *) { return get_link_ip(1); }
int set_client_link_ip2(const char *value) { return set_link_ip(1, FIELD_client_link_ip2, value); }
int get_client_link_port2(void *) { return get_link_port(1); }
int set_client_link_port2(const char *value) { return set_link_port(1, FIELD_client_link_port2, value); }

int get_client_link_ip3(void *) { return get_link_ip(2); }
int set_client_link_ip3(const char *value) { return set_link_ip(2, FIELD_client_link_ip3, value); }
int get_client_link_port3(void *) { return get_link_port(2); }
int set_client_link_port3(const char *value) { return set_link_port(2, FIELD_client_link_port3, value); }

int get_client_link_ip4(void *) { return get_link_ip(3); }
int set_client_link_ip4(const char *value) { return set_link_ip(3, FIELD_client_link_ip4, value); }
int get_client_link_port4(void *) { return get_link_port(3); }
int set_client_link_port4(const char *value) { return set_link_port(3, FIELD_client_link_port4, value); }

int get_VcomLinkCnt(void *) { return get_link_cnt(); }
int set_VcomLinkCnt(const char *value) { return set_link_cnt(ENUM_SEVICE_MODE_VCOM, value); }

int get_ServerLinkCnt(void *) { return get_link_cnt(); }
int set_ServerLinkCnt(const char *value) { return set_link_cnt(ENUM_SEVICE_MODE_SERVER, value); }

int get_ConnectOn(void *)
{
    const PortInfo *p = sel_port();
    if (p)
        print_flag((pi_u32(p, PI_FLAGS) & PI_FLAG_CONNECT_ON) != 0);
    return 0;
}

// Only exactly 1 switches it on; every other bit of the word stays.
int set_ConnectOn(const char *value)
{
    PortInfo *p = mode_target(ENUM_SEVICE_MODE_CLIENT, value);
    if (p)
        pi_set_flag(p, PI_FLAG_CONNECT_ON, dec_value(value) == 1);
    return 0;
}

// A port the library keeps no encryption settings for shows "0".
int get_EncryptionEnable(void *)
{
    if (!sel_port())
        return 0;
    const unsigned char *b = ssl_byte();
    print_flag(b && (*b & SSL_ENCRYPT_ENABLE));
    return 0;
}

// Any save that carries the field sets it, whatever the service; any value
// but 0 switches it on. Bits 1 to 7 stay; the library keeps the change and
// stores it with the port records.
int set_EncryptionEnable(const char *value)
{
    unsigned char *b = value ? ssl_byte() : nullptr;
    if (!b)
        return 0;
    if (dec_value(value) != 0)
        *b = static_cast<unsigned char>(*b | SSL_ENCRYPT_ENABLE);
    else
        *b = static_cast<unsigned char>(*b & ~SSL_ENCRYPT_ENABLE);
    return 0;
}
