// Save flow: runs after the setter pass of a save request.
#ifndef S2N_SAVE_H
#define S2N_SAVE_H

// Stores what the setter pass put into the records, brings the per-port
// entries of the system configuration up to date and reloads the firewall
// when one of them changed. next_page is the submitted page or null.
void save_flow(const char *next_page);

// Reloads the firewall rule group in a detached child; returns at once.
void reload_firewall(const char *group);

#endif
