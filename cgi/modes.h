// The eight services of a serial port, one row each: the page's number, the
// stored PortMode code, the template page and the console trace lines; for
// the Modbus gateway modes, modbus_record and modbus_store add the page's
// record and its store call. Every
// reader of these facts (page choice, the service mode tags, the save flow,
// the mode guards of the setters) goes through this table.
#ifndef S2N_MODES_H
#define S2N_MODES_H

#include <stdint.h>

#include "devcfg.h"
#include "state.h"

// ServiceMode: the numbering of the page, the form field "h_ServiceMode"
// and iServiceMode. The names are those of the console trace lines.
// "SEVICE" is how the trace lines have always spelt it: keep the misspelling.
enum ServiceMode {
    ENUM_SEVICE_MODE_VCOM = 1,
    ENUM_SEVICE_MODE_SERVER = 2,
    ENUM_SEVICE_MODE_CLIENT = 3,
    ENUM_SEVICE_MODE_UDP = 4,
    ENUM_RTU_SLAVE_MODE = 5,
    ENUM_RTU_MASTER_MODE = 6,
    ENUM_ASCII_SLAVE_MODE = 7,
    ENUM_ASCII_MASTER_MODE = 8,
};

enum { SERVICE_MODES = 8 };

// The Modbus record a gateway page shows and saves: a master record or a
// slave record, the other member null. modbus_store names its store call.
struct ModbusRecord {
    MbusMasterInfo *master = nullptr;
    MbusSlaveInfo *slave = nullptr;
};

// What a service listens on, where peers connect to the device: the data
// port (net_addr) over TCP or UDP, or the Modbus slave record's server port.
// Clients and masters connect out and hold no number of the device's.
enum Listen : unsigned char { LISTEN_NONE, LISTEN_TCP_DATA, LISTEN_UDP_DATA, LISTEN_TCP_MODBUS };

struct ServiceModeRow {
    int service_mode;      // the page's number, 1..8
    int port_mode;         // the PortMode code stored in port_mode
    Listen listens;        // what the service listens on
    const char *page;      // template page of the service
    const char *get_line;  // trace line of get_ServiceMode
    const char *set_line;  // trace line of set_ServiceMode
    ModbusRecord record;   // a Modbus gateway's record; none for the network services
};

// Indexed by service_mode - 1.
extern const ServiceModeRow service_modes[SERVICE_MODES];

// The row of a stored PortMode code, or null outside 0..7.
const ServiceModeRow *mode_by_port_mode(int32_t port_mode);
// What the service of a stored PortMode code listens on; none outside 0..7.
Listen listens_of(int32_t port_mode);
// The row of a page number, or null outside 1..8.
const ServiceModeRow *mode_by_service(int service_mode);
// The Modbus gateway row whose page is named exactly so, or null.
const ServiceModeRow *modbus_mode_by_page(const char *page);

// A row's Modbus record; all null for the network services.
inline ModbusRecord modbus_record(const ServiceModeRow *row)
{
    return row->record;
}

// The network port number a Modbus row's record claims: the master's host
// port or the slave's server port. Stores rec, a record of the row's kind,
// as the row's record of port idx; returns the library's status.
int modbus_port_num(const ServiceModeRow *row);
int modbus_store(const ServiceModeRow *row, ModbusRecord rec, int idx);

#endif
