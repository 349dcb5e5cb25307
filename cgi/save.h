// Save flow: runs after the setter pass of a save request.
#ifndef S2N_SAVE_H
#define S2N_SAVE_H

// Stores what the setter pass put into the records, brings the per-port
// entries of the system configuration up to date and reloads the firewall
// when one of them changed. next_page is the submitted page or null.
void save_flow(const char *next_page);

// Takes the save lock, waiting a bounded time for another save to end.
// Returns null once it is held, else the message that refuses the save:
// the device is busy, or the lock file cannot be opened.
const char *save_lock_take(void);

// Releases the save lock if this request holds it.
void save_lock_release(void);

// Keeps the Modbus mode code and, for a Modbus page, that page's record as
// the request loaded them, before the setter pass changes them: a store that
// fails puts them back.
void save_keep_loaded(const char *next_page);

#endif
