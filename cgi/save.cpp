// Save flow: stores the records the setter pass changed, keeps the per-port
// entries of the system configuration in line with the port records and has
// the firewall reloaded when one of them changed.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "messages.h"
#include "modes.h"
#include "numtext.h"
#include "record.h"
#include "save.h"
#include "state.h"
#include "text.h"

#define FIREWALL_GROUP "ser2net_remote_man"

// Key and value buffers of a per-port entry: the library's string size.
enum { ENTRY_TEXT_SIZE = CFL_STRING_SIZE, CHILD_FD_LIMIT = 64 };

// Key of a per-port entry: the base name followed by the port number, as
// "%s%d" forms it. The base names are the few constants below; one that
// would not fit leaves the key empty rather than overrun it.
static void entry_key(char (&key)[ENTRY_TEXT_SIZE], const char *base, int port)
{
    size_t len = text_len_max(base, ENTRY_TEXT_SIZE);
    key[0] = '\0';
    if (len + DEC_TEXT_SIZE > ENTRY_TEXT_SIZE)
        return;
    copy_bytes(key, base, len);
    dec_text(key + len, port);
}

// One per-port entry of section "serial" read as a number. The buffer is
// cleared first so an entry the file lacks reads as empty text, that is 0.
static int read_entry(const char *base, int port)
{
    char key[ENTRY_TEXT_SIZE];
    char value[ENTRY_TEXT_SIZE];
    entry_key(key, base, port);
    memset(value, 0, sizeof value);
    CFL_GET_STRING("serial", key, value, SYSTEM_CONF);
    value[sizeof value - 1] = '\0';
    return dec_value(value);
}

static void write_entry(const char *base, int port, int number)
{
    char key[ENTRY_TEXT_SIZE];
    char value[DEC_TEXT_SIZE];
    entry_key(key, base, port);
    dec_text(value, number);
    CFL_VALUE_SET_STRING("serial", key, value, SYSTEM_CONF);
}

// Brings one port's entries in line with its record; true when one was
// written. Only a port whose data port entry is above 0 is maintained.
static bool sync_port(int port, const PortInfo *rec)
{
    int data_port = read_entry("DataPort", port);
    if (data_port <= 0)
        return false;

    bool changed = false;
    int net_port = pi_port(rec, PI_NET_ADDR);
    if (data_port != net_port) {
        changed = true;
        write_entry("DataPort", port, net_port);
        write_entry("CtrlPort", port, pi_port(rec, PI_CTRL_ADDR));
    }

    int udp = read_entry("ProtolPort", port);
    bool is_udp = pi_i32(rec, PI_PORT_MODE) == PORT_UDP_MODE;
    if (udp > 0 && !is_udp) {
        changed = true;
        write_entry("ProtolPort", port, 0);
    } else if (udp == 0 && is_udp) {
        changed = true;
        write_entry("ProtolPort", port, 1);
    }
    return changed;
}

// Stores the Modbus mode code and, on a Modbus page, the page's record.
// Returns the Modbus flag for SaveNewConfig. Nothing is stored while a
// message is pending: a refused save must leave the stored state alone.
static int store_modbus_state(const ServiceModeRow *mb, PortInfo *port)
{
    if (mb) {
        portmode_info = mb->port_mode;
        pi_set_i32(port, PI_NET_ENABLE, 0);
        int owner = 0;
        if (check_valid_port_num(modbus_port_num(mb), &owner) != 0 && owner != iPortIndex)
            ret_msg = MSG_PORT_IN_USE;
        if (!ret_msg) {
            set_mbus_mode_info(&portmode_info, iPortIndex);
            modbus_store(mb, iPortIndex);
        }
        return 1;
    }

    portmode_info = pi_i32(port, PI_PORT_MODE);
    if (pi_i32(port, PI_NET_ENABLE) == 0)
        pi_set_i32(port, PI_NET_ENABLE, 1);
    if (!ret_msg)
        set_mbus_mode_info(&portmode_info, iPortIndex);
    return 0;
}

// ---- One save at a time ----

// Every save reads all four port records and stores all four, so two saves
// that overlap would put back what the other stored. A save holds an
// exclusive record lock on the lock file from before it reads anything
// until system.conf and the firewall follow what it stored. fcntl locks
// belong to the process: the reload child does not inherit it, and the
// kernel drops it when the request ends in any way.
static_assert(S2N_LOCK_WAIT_SECONDS >= 1, "a save waits at least a second for the lock");

static int save_lock_fd = -1;
static volatile sig_atomic_t lock_wait_over;

static void on_lock_wait_over(int)
{
    lock_wait_over = 1;
}

const char *save_lock_take(void)
{
    int fd = open(S2N_LOCK_PATH, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return MSG_LOCK_FAILED;
    struct flock whole;
    memset(&whole, 0, sizeof whole);
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;

    // Uncontended, the lock is had at once, without the timer.
    if (fcntl(fd, F_SETLK, &whole) == 0) {
        save_lock_fd = fd;
        return nullptr;
    }

    // The wait ends with a timer signal that interrupts the lock call; the
    // timer repeats, so a signal that came just before the call does not
    // leave it waiting for good.
    struct sigaction wake, before;
    memset(&wake, 0, sizeof wake);
    wake.sa_handler = on_lock_wait_over;  // no SA_RESTART: the call returns EINTR
    sigemptyset(&wake.sa_mask);
    sigaction(SIGALRM, &wake, &before);
    lock_wait_over = 0;
    struct itimerval timer, timer_before;
    memset(&timer, 0, sizeof timer);
    timer.it_value.tv_sec = S2N_LOCK_WAIT_SECONDS;
    timer.it_interval.tv_usec = 100000;
    setitimer(ITIMER_REAL, &timer, &timer_before);
    int rc;
    while ((rc = fcntl(fd, F_SETLKW, &whole)) != 0 && errno == EINTR && !lock_wait_over) {
    }
    int err = errno;
    setitimer(ITIMER_REAL, &timer_before, nullptr);  // a timer of the caller's runs on
    sigaction(SIGALRM, &before, nullptr);

    if (rc != 0) {
        close(fd);
        return err == EINTR ? MSG_BUSY : MSG_LOCK_FAILED;
    }
    save_lock_fd = fd;
    return nullptr;
}

void save_lock_release(void)
{
    if (save_lock_fd >= 0) {
        close(save_lock_fd);  // closing drops the process's locks on the file
        save_lock_fd = -1;
    }
}

// ---- Save flow ----

static void reload_firewall(const char *group);

void save_flow(const char *next_page)
{
    // Without the selected port's record there is nothing to save or reset.
    PortInfo *port = sel_port();
    if (!port)
        return;

    int mbus = store_modbus_state(modbus_mode_by_page(next_page), port);
    // A message from a setter or from the port check refuses the whole
    // save: no records, no per-port entries, no reload, no reset.
    if (ret_msg)
        return;
    // A store that failed changed nothing, so nothing may follow it: the
    // entries would name ports the records never got.
    if (SaveNewConfig(&pDevInfo, pPortInfo, pTtyInfo, &ret_msg, mbus) != 0) {
        if (!ret_msg)
            ret_msg = MSG_STORE_FAILED;
        return;
    }
    // Stored: the reset asked for now applies it, once, whatever follows.
    if (clear_conn_asked)
        clearConn(iPortIndex);

    // The records are stored (a message from SaveNewConfig itself does not
    // undo that), so the entries follow them.
    bool changed = false;
    for (int i = 0; i < S2N_PORTS; ++i)
        if (pPortInfo[i] && sync_port(i, pPortInfo[i]))
            changed = true;
    if (!changed)
        return;

    CFL_VALUE_SET_MULTI_ITEMS(mi, SYSTEM_CONF);
    char wanif[WANIF_NAME_SIZE];
    memset(wanif, 0, sizeof wanif);
    net_get_wanif(wanif);
    wanif[sizeof wanif - 1] = '\0';
    fw_renewconf(wanif);
    reload_firewall(FIREWALL_GROUP);
}

static void reload_firewall(const char *group)
{
    // Buffered output must not be written again by the child.
    fflush(nullptr);
    pid_t pid = fork();
    if (pid != 0)
        return;  // the request, or a failed fork: no reload this time

    setsid();
    for (int fd = 0; fd < CHILD_FD_LIMIT; ++fd)
        close(fd);
    if (chdir("/") != 0) {
        // Keep going: the reload does not depend on the working directory.
    }
    umask(0);
    signal(SIGCHLD, SIG_IGN);
    fw_reload(group);
    // _exit: the request's exit handlers and stdio state are not the child's.
    _exit(0);
}
