/*
 * Call recorder for the request benchmark, loaded with LD_PRELOAD into the
 * service mode CGI (or a null CGI). It logs, one line each, every call the
 * program makes into the two platform libraries with the arguments that
 * decide the libraries' work, the bytes each getter writes to standard
 * output, and every trace line written to the console, then passes each
 * call on. bench/replay.py turns a log into a null CGI that makes the same
 * calls and writes the same bytes; the log of that null must then equal the
 * program's.
 *
 *   REC_LOG      file the lines are appended to
 *   REC_CONSOLE  the console path the program's build writes trace lines to
 *
 * Standard output must be a regular file: a getter's bytes are logged as
 * the range of file offsets it wrote.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "cgiweb.h"
#include "devcfg.h"

#define EXPORT __attribute__((visibility("default")))

/* ---- the log ------------------------------------------------------------- */

static int log_fd = -1;

static void log_raw(const char *s, size_t n)
{
    if (log_fd < 0) {
        const char *path = getenv("REC_LOG");
        if (!path)
            return;
        log_fd = (int)syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log_fd < 0)
            return;
    }
    while (n > 0) {
        long w = syscall(SYS_write, log_fd, s, n);
        if (w <= 0)
            return;
        s += w;
        n -= (size_t)w;
    }
}

/* A line of words; "%s" words are logged as text, or "-" for null. Text
 * holding a blank, a backslash or a byte outside printable ASCII is
 * escaped as \xHH so a line splits on blanks. */
static void log_word(const char *s)
{
    static const char hex[] = "0123456789abcdef";
    if (!s) {
        log_raw(" -", 2);
        return;
    }
    log_raw(" ", 1);
    if (!*s || strcmp(s, "-") == 0) {
        log_raw(*s ? "\\x2d" : "\\x", *s ? 4 : 2);  /* the empty text; "-" itself */
        return;
    }
    for (; *s; ++s) {
        unsigned char c = (unsigned char)*s;
        if (c > ' ' && c < 0x7f && c != '\\') {
            log_raw(s, 1);
        } else {
            char e[4] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
            log_raw(e, 4);
        }
    }
}

static void log_bytes(const char *what, const void *p, size_t n)
{
    static const char hex[] = "0123456789abcdef";
    const unsigned char *b = p;
    log_raw(what, strlen(what));
    log_raw(" ", 1);
    for (size_t i = 0; i < n; ++i) {
        char e[2] = {hex[b[i] >> 4], hex[b[i] & 15]};
        log_raw(e, 2);
    }
    log_raw("\n", 1);
}

static void log_line(const char *name, int nwords, ...)
{
    va_list ap;
    va_start(ap, nwords);
    log_raw(name, strlen(name));
    for (int i = 0; i < nwords; ++i)
        log_word(va_arg(ap, const char *));
    va_end(ap);
    log_raw("\n", 1);
}

static const char *num(char buf[24], long long v)
{
    snprintf(buf, 24, "%lld", v);
    return buf;
}

#define NEXT(name) ((__typeof__(&name))next_fn(#name))
static void *next_fn(const char *name)
{
    void *f = dlsym(RTLD_NEXT, name);
    if (!f) {
        log_line("missing", 1, name);
        abort();
    }
    return f;
}

/* ---- records the platform handed out ---------------------------------------
 * A save is replayed only when it stores what was loaded: the program-owned
 * bytes of each record are kept as loaded and compared at the store. */

static PortInfo *ports[4];
static unsigned char port_loaded[4][PI_MIN_SIZE];

static int port_index(const PortInfo *p)
{
    for (int i = 0; i < 4; ++i)
        if (p && ports[i] == p)
            return i;
    return -1;
}

/* Modbus records by kind: the mode code, rtumaster, asciimaster, rtuslave,
 * asciislave, each as loaded for one port. */
enum { MB_MODE, MB_RTUMASTER, MB_ASCIIMASTER, MB_RTUSLAVE, MB_ASCIISLAVE, MB_KINDS };
static unsigned char mb_loaded[MB_KINDS][sizeof(MbusMasterInfo)];

static const char *same(const void *a, const void *b, size_t n)
{
    return memcmp(a, b, n) == 0 ? "same" : "changed";
}

/* ---- CGI form and template library ---------------------------------------- */

EXPORT int read_cgi_input(CgiList **list)
{
    log_line("read_cgi_input", 0);
    return NEXT(read_cgi_input)(list);
}

EXPORT const char *cgi_val(CgiList *list, const char *name)
{
    log_line("cgi_val", 1, name);
    return NEXT(cgi_val)(list, name);
}

EXPORT void list_clear(CgiList **list)
{
    log_line("list_clear", 0);
    NEXT(list_clear)(list);
}

EXPORT void CgiError(void)
{
    log_line("CgiError", 0);
    NEXT(CgiError)();
}

EXPORT int lang_get_index(const char *lang)
{
    log_line("lang_get_index", 1, lang);
    return NEXT(lang_get_index)(lang);
}

EXPORT const char *lang_get_tag(int index)
{
    char b[24];
    log_line("lang_get_tag", 1, num(b, index));
    return NEXT(lang_get_tag)(index);
}

EXPORT void html_header(void)
{
    log_line("html_header", 0);
    NEXT(html_header)();
}

/* Each getter is called through a trampoline that knows its row and logs
 * the offsets of standard output before and after it. */
enum { ROWS = 128 };
static TagEntry rows[ROWS + 1];
static TagGetter row_getter[ROWS];

static long stdout_offset(void)
{
    fflush(stdout);
    return (long)lseek(1, 0, SEEK_CUR);
}

static int tramp(int row, void *arg)
{
    char b[3][24];
    long from = stdout_offset();
    log_line("getter", 1, num(b[0], row));
    int r = row_getter[row](arg);
    long to = stdout_offset();
    log_line("/getter", 3, num(b[0], r), num(b[1], from), num(b[2], to));
    return r;
}

#define G(b, k) static int g_##b##_##k(void *a) { return tramp((b) * 8 + (k), a); }
#define G8(b) G(b, 0) G(b, 1) G(b, 2) G(b, 3) G(b, 4) G(b, 5) G(b, 6) G(b, 7)
#define P(b, k) g_##b##_##k,
#define P8(b) P(b, 0) P(b, 1) P(b, 2) P(b, 3) P(b, 4) P(b, 5) P(b, 6) P(b, 7)
G8(0) G8(1) G8(2) G8(3) G8(4) G8(5) G8(6) G8(7)
G8(8) G8(9) G8(10) G8(11) G8(12) G8(13) G8(14) G8(15)
static const TagGetter trampolines[ROWS] = {
    P8(0) P8(1) P8(2) P8(3) P8(4) P8(5) P8(6) P8(7)
    P8(8) P8(9) P8(10) P8(11) P8(12) P8(13) P8(14) P8(15)
};

EXPORT int parse_html(const char *path, const TagEntry *tab)
{
    int n = 0;
    log_raw("table", 5);
    for (; tab && tab[n].tag; ++n) {
        if (n == ROWS) {
            log_line("\ntoo-many-rows", 0);
            abort();
        }
        rows[n] = tab[n];
        row_getter[n] = tab[n].getter;
        if (tab[n].getter)
            rows[n].getter = trampolines[n];
        log_word(tab[n].tag);
        log_word(tab[n].getter ? "g" : "-");
    }
    log_raw("\n", 1);
    memset(&rows[n], 0, sizeof rows[n]);
    log_line("parse_html", 1, path);
    return NEXT(parse_html)(path, tab ? rows : tab);
}

/* ---- device configuration library ------------------------------------------ */

EXPORT int GetDevInfoAlloc(DevInfo **dev)
{
    log_line("GetDevInfoAlloc", 0);
    return NEXT(GetDevInfoAlloc)(dev);
}

EXPORT int GetPortInfoAlloc(PortInfo **port, int idx)
{
    char b[24];
    log_line("GetPortInfoAlloc", 1, num(b, idx));
    int r = NEXT(GetPortInfoAlloc)(port, idx);
    if (idx >= 0 && idx < 4 && port && *port) {
        ports[idx] = *port;
        memcpy(port_loaded[idx], *port, PI_MIN_SIZE);
    }
    return r;
}

EXPORT int GetTtyInfoAlloc(TtyInfo **tty, int idx)
{
    char b[24];
    log_line("GetTtyInfoAlloc", 1, num(b, idx));
    return NEXT(GetTtyInfoAlloc)(tty, idx);
}

EXPORT int SaveNewConfig(DevInfo **dev, PortInfo **p, TtyInfo **ttys, const char **msg, int mbus)
{
    char b[24];
    const char *state = "same";
    for (int i = 0; i < 4; ++i)
        if (p[i] != ports[i] || (p[i] && memcmp(p[i], port_loaded[i], PI_MIN_SIZE) != 0))
            state = "changed";
    log_line("SaveNewConfig", 3, num(b, mbus), state, msg && *msg ? *msg : NULL);
    return NEXT(SaveNewConfig)(dev, p, ttys, msg, mbus);
}

static void mb_get(int kind, const char *name, const void *rec, size_t n, int idx)
{
    char b[24];
    memcpy(mb_loaded[kind], rec, n);
    log_line(name, 1, num(b, idx));
}

static void mb_set(int kind, const char *name, const void *rec, size_t n, int idx)
{
    char b[2][24];
    const char *word = kind == MB_MODE ? num(b[1], *(const int *)rec) : same(rec, mb_loaded[kind], n);
    log_line(name, 2, word, num(b[0], idx));
}

#define MBUS(kind, type, getname, setname)                                  \
    EXPORT int getname(type *info, int idx)                                 \
    {                                                                       \
        int r = NEXT(getname)(info, idx);                                   \
        mb_get(kind, #getname, info, sizeof *info, idx);                    \
        return r;                                                           \
    }                                                                       \
    EXPORT int setname(type *info, int idx)                                 \
    {                                                                       \
        mb_set(kind, #setname, info, sizeof *info, idx);                    \
        return NEXT(setname)(info, idx);                                    \
    }
MBUS(MB_MODE, int, get_mbus_mode_info, set_mbus_mode_info)
MBUS(MB_RTUMASTER, MbusMasterInfo, get_mbus_rtumaster_mode_info, set_mbus_rtumaster_mode_info)
MBUS(MB_ASCIIMASTER, MbusMasterInfo, get_mbus_asciimaster_mode_info, set_mbus_asciimaster_mode_info)
MBUS(MB_RTUSLAVE, MbusSlaveInfo, get_mbus_rtuslave_mode_info, set_mbus_rtuslave_mode_info)
MBUS(MB_ASCIISLAVE, MbusSlaveInfo, get_mbus_asciislave_mode_info, set_mbus_asciislave_mode_info)

EXPORT int check_valid_port_num(int port_num, int *owner)
{
    char b[24];
    log_line("check_valid_port_num", 1, num(b, port_num));
    return NEXT(check_valid_port_num)(port_num, owner);
}

EXPORT int clearConn(int idx)
{
    char b[24];
    log_line("clearConn", 1, num(b, idx));
    return NEXT(clearConn)(idx);
}

EXPORT SslInfo *ssl_get_ssl_info_from_port(PortInfo *port)
{
    char b[24];
    log_line("ssl_get_ssl_info_from_port", 1, num(b, port_index(port)));
    return NEXT(ssl_get_ssl_info_from_port)(port);
}

EXPORT int dev_get_uptime(UptimeInfo *up)
{
    log_line("dev_get_uptime", 0);
    return NEXT(dev_get_uptime)(up);
}

EXPORT int net_get_wanif(char *name)
{
    log_line("net_get_wanif", 0);
    return NEXT(net_get_wanif)(name);
}

EXPORT int if_getinfo(const char *ifname, IfInfo *info)
{
    log_line("if_getinfo", 1, ifname);
    return NEXT(if_getinfo)(ifname, info);
}

EXPORT const char *sysconf_getvalue(const char *section, const char *key)
{
    log_line("sysconf_getvalue", 2, section, key);
    return NEXT(sysconf_getvalue)(section, key);
}

EXPORT int fw_renewconf(const char *wanif)
{
    log_line("fw_renewconf", 1, wanif);
    return NEXT(fw_renewconf)(wanif);
}

EXPORT int fw_reload(const char *group)
{
    log_line("fw_reload", 1, group);
    return NEXT(fw_reload)(group);
}

static void log_items(const char *name, const ConfigItem *items, const char *file)
{
    char b[24];
    log_raw(name, strlen(name));
    log_word(file);
    for (int i = 0;; ++i) {
        log_word(items[i].section);
        log_word(items[i].key);
        log_word(num(b, items[i].kind));
        if (!items[i].section)
            break;
    }
    log_raw("\n", 1);
}

EXPORT int CFL_GET_MULTI_ITEMS(ConfigItem *items, const char *file)
{
    log_items("CFL_GET_MULTI_ITEMS", items, file);
    return NEXT(CFL_GET_MULTI_ITEMS)(items, file);
}

EXPORT int CFL_VALUE_SET_MULTI_ITEMS(ConfigItem *items, const char *file)
{
    log_items("CFL_VALUE_SET_MULTI_ITEMS", items, file);
    return NEXT(CFL_VALUE_SET_MULTI_ITEMS)(items, file);
}

EXPORT int CFL_GET_STRING(const char *section, const char *key, char *value, const char *file)
{
    log_line("CFL_GET_STRING", 3, section, key, file);
    return NEXT(CFL_GET_STRING)(section, key, value, file);
}

EXPORT int CFL_VALUE_SET_STRING(const char *section, const char *key, const char *value, const char *file)
{
    log_line("CFL_VALUE_SET_STRING", 4, section, key, value, file);
    return NEXT(CFL_VALUE_SET_STRING)(section, key, value, file);
}

/* ---- the console ------------------------------------------------------------
 * Trace lines, however the program writes them: open/write/close or
 * fopen/fputs/fclose on the console path. */

static int console_fd = -1;
static FILE *console_file;

static int is_console(const char *path)
{
    const char *console = getenv("REC_CONSOLE");
    return path && console && strcmp(path, console) == 0;
}

EXPORT int open(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    int fd = NEXT(open)(path, flags, mode);
    if (fd >= 0 && is_console(path))
        console_fd = fd;
    return fd;
}

EXPORT ssize_t write(int fd, const void *buf, size_t n)
{
    if (fd >= 0 && fd == console_fd)
        log_bytes("trace", buf, n);
    return NEXT(write)(fd, buf, n);
}

EXPORT int close(int fd)
{
    if (fd >= 0 && fd == console_fd)
        console_fd = -1;
    return NEXT(close)(fd);
}

EXPORT FILE *fopen(const char *path, const char *mode)
{
    FILE *f = NEXT(fopen)(path, mode);
    if (f && is_console(path))
        console_file = f;
    return f;
}

EXPORT int fputs(const char *s, FILE *f)
{
    if (f == console_file && console_file)
        log_bytes("trace", s, strlen(s));
    return NEXT(fputs)(s, f);
}

EXPORT int fclose(FILE *f)
{
    if (f == console_file)
        console_file = NULL;
    return NEXT(fclose)(f);
}
