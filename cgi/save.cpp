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

static void owe_reload(void);

// Before the first entry a save changes, the reload it then owes is marked.
static void before_change(bool *owed)
{
    if (!*owed)
        owe_reload();
    *owed = true;
}

// Brings one port's entries in line with its record, setting owed before it
// writes one. Only a port whose data port entry is above 0 is maintained.
static void sync_port(int port, const PortInfo *rec, bool *owed)
{
    int data_port = read_entry("DataPort", port);
    if (data_port <= 0)
        return;

    int net_port = pi_port(rec, PI_NET_ADDR);
    if (data_port != net_port) {
        before_change(owed);
        write_entry("DataPort", port, net_port);
        write_entry("CtrlPort", port, pi_port(rec, PI_CTRL_ADDR));
    }

    int udp = read_entry("ProtolPort", port);
    bool is_udp = pi_i32(rec, PI_PORT_MODE) == PORT_UDP_MODE;
    if ((udp > 0 && !is_udp) || (udp == 0 && is_udp)) {
        before_change(owed);
        write_entry("ProtolPort", port, is_udp);
    }
}

// Whether the library's report that a number is in use stands: the
// selected port itself counts as free, and a port whose stored service
// does not listen on TCP holds no number (the library may count a
// client's or master's remote port). An owner it cannot name, or whose
// record is missing, is taken at its word.
static bool held_by_listener(int owner)
{
    if (owner == iPortIndex)
        return false;
    if (static_cast<unsigned>(owner) >= S2N_PORTS || !pPortInfo[owner])
        return true;
    Listen l = listens_of(pi_i32(pPortInfo[owner], PI_PORT_MODE));
    return l == LISTEN_TCP_DATA || l == LISTEN_TCP_MODBUS;
}

// The message naming the serial port (0..3) that holds a number.
static const char *held_message(int port)
{
    switch (port) {
    case 0: return MSG_PORT_HELD_1;
    case 1: return MSG_PORT_HELD_2;
    case 2: return MSG_PORT_HELD_3;
    default: return MSG_PORT_HELD_4;
    }
}

// A port save whose service would listen on its data port: another port
// whose stored service listens on the same number with the same transport
// holds it, and the save is refused with that port's name. The four loaded
// records show it; Modbus slaves of other ports are not loaded here.
static const char *data_port_clash(const PortInfo *port)
{
    Listen mine = listens_of(pi_i32(port, PI_PORT_MODE));
    if (mine != LISTEN_TCP_DATA && mine != LISTEN_UDP_DATA)
        return nullptr;
    uint16_t number = pi_port(port, PI_NET_ADDR);
    for (int i = 0; i < S2N_PORTS; ++i) {
        const PortInfo *other = pPortInfo[i];
        if (i != iPortIndex && other && listens_of(pi_i32(other, PI_PORT_MODE)) == mine &&
            pi_port(other, PI_NET_ADDR) == number)
            return held_message(i);
    }
    return nullptr;
}

// Sets the Modbus mode code and the network switch the save stores and
// makes the port checks. Returns the Modbus flag for SaveNewConfig. A
// pending message refuses the save, and the first refusal is the one shown.
static int prepare_modbus_state(const ServiceModeRow *mb, PortInfo *port)
{
    if (mb) {
        portmode_info = mb->port_mode;
        pi_set_i32(port, PI_NET_ENABLE, 0);
        // A master's port is a remote server's: only a slave listens.
        if (mb->listens == LISTEN_TCP_MODBUS) {
            int owner = 0;
            if (check_valid_port_num(modbus_port_num(mb), &owner) != 0 && held_by_listener(owner) && !ret_msg)
                ret_msg = MSG_PORT_IN_USE;
        }
        return 1;
    }

    portmode_info = pi_i32(port, PI_PORT_MODE);
    if (pi_i32(port, PI_NET_ENABLE) == 0)
        pi_set_i32(port, PI_NET_ENABLE, 1);
    if (!ret_msg)
        ret_msg = data_port_clash(port);
    return 0;
}

// ---- What the request loaded, for a store that fails ----

static int loaded_mode;
static MbusMasterInfo loaded_master;
static MbusSlaveInfo loaded_slave;

void save_keep_loaded(const char *next_page)
{
    loaded_mode = portmode_info;
    const ServiceModeRow *mb = modbus_mode_by_page(next_page);
    if (!mb)
        return;
    ModbusRecord rec = modbus_record(mb);
    if (rec.master)
        loaded_master = *rec.master;
    else
        loaded_slave = *rec.slave;
}

// Stores again the mode code and, on a Modbus page, the page's record as the
// request loaded them. False when the library refused either.
static bool put_back(const ServiceModeRow *mb)
{
    bool ok = set_mbus_mode_info(&loaded_mode, iPortIndex) == 0;
    if (mb) {
        ModbusRecord rec = modbus_record(mb);
        rec = rec.master ? ModbusRecord{.master = &loaded_master} : ModbusRecord{.slave = &loaded_slave};
        ok = modbus_store(mb, rec, iPortIndex) == 0 && ok;
    }
    return ok;
}

// ---- Termination held while a save stores ----

// A web server ends a CGI program whose client went away, an administrator
// stops the server: from the first store until the reload child is started
// these signals wait, so a save that began storing finishes or fails whole.
static sigset_t signals_before;
static bool signals_held;

static void hold_signals(void)
{
    static const int held[] = {SIGTERM, SIGHUP, SIGINT, SIGPIPE};
    sigset_t term;
    sigemptyset(&term);
    for (int sig : held)
        sigaddset(&term, sig);
    signals_held = sigprocmask(SIG_BLOCK, &term, &signals_before) == 0;
}

// A signal that came meanwhile takes effect here.
static void release_signals(void)
{
    if (signals_held) {
        signals_held = false;
        sigprocmask(SIG_SETMASK, &signals_before, nullptr);
    }
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

// ---- Reload owed ----

// A save about to change a per-port entry marks a reload as owed in the save
// lock file (byte 0 is '1'), and clears the mark once the reload child is
// started, both under the save lock, so no save clears another's mark. A
// save killed in between leaves it for the next save, which then renews the
// firewall even when the entries are in line. The lock file lives in
// /var/run: a boot rebuilds the firewall anyway.
static bool reload_owed(void)
{
    char mark = 0;
    return save_lock_fd >= 0 && pread(save_lock_fd, &mark, 1, 0) == 1 && mark == '1';
}

static void owe_reload(void)
{
    if (save_lock_fd >= 0 && pwrite(save_lock_fd, "1", 1, 0) != 1) {
        // Nothing more to do: the save goes on and reloads itself.
    }
}

static void reload_paid(void)
{
    if (save_lock_fd >= 0 && ftruncate(save_lock_fd, 0) != 0) {
        // The mark stays: the next save reloads once more, which is harmless.
    }
}

// ---- Save flow ----

static bool reload_firewall(const char *group);

// Stores the records and brings the entries and the firewall in line with
// them; runs with termination held.
static void store_and_follow(const ServiceModeRow *mb, int mbus)
{
    set_mbus_mode_info(&portmode_info, iPortIndex);
    if (mb)
        modbus_store(mb, modbus_record(mb), iPortIndex);
    // A store that failed is undone and nothing may follow it: the entries
    // would name ports the records never got.
    if (SaveNewConfig(&pDevInfo, pPortInfo, pTtyInfo, &ret_msg, mbus) != 0) {
        if (!put_back(mb))
            ret_msg = MSG_PARTLY_STORED;
        else if (!ret_msg)
            ret_msg = MSG_STORE_FAILED;
        return;
    }
    // Stored: the reset asked for now applies it, once, whatever follows.
    if (clear_conn_asked)
        clearConn(iPortIndex);

    // The records are stored (a message from SaveNewConfig itself does not
    // undo that), so the entries follow them.
    bool owed = reload_owed();
    for (int i = 0; i < S2N_PORTS; ++i)
        if (pPortInfo[i])
            sync_port(i, pPortInfo[i], &owed);
    if (!owed)
        return;

    CFL_VALUE_SET_MULTI_ITEMS(mi, SYSTEM_CONF);
    char wanif[WANIF_NAME_SIZE];
    memset(wanif, 0, sizeof wanif);
    net_get_wanif(wanif);
    wanif[sizeof wanif - 1] = '\0';
    fw_renewconf(wanif);
    if (reload_firewall(FIREWALL_GROUP))
        reload_paid();
}

void save_flow(const char *next_page)
{
    // Without the selected port's record there is nothing to save or reset.
    PortInfo *port = sel_port();
    if (!port)
        return;

    const ServiceModeRow *mb = modbus_mode_by_page(next_page);
    int mbus = prepare_modbus_state(mb, port);
    // A message from a setter or from a port check refuses the whole save:
    // nothing stored, no per-port entries, no reload, no reset.
    if (ret_msg)
        return;
    hold_signals();
    store_and_follow(mb, mbus);
    release_signals();
}

static bool reload_firewall(const char *group)
{
    // Buffered output must not be written again by the child.
    fflush(nullptr);
    pid_t pid = fork();
    if (pid != 0)
        return pid > 0;  // the request; a failed fork: no reload this time

    release_signals();
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
