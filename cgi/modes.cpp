#include "modes.h"

#include "state.h"
#include "text.h"

// The trace lines spell the enumerator names, so each name is written once.
#define MODE_ROW(svc, pm, ls, pg, ...)                                                         \
    {                                                                                          \
        .service_mode = svc, .port_mode = pm, .listens = ls, .page = pg,                       \
        .get_line = "get_ServiceMode " #pm "\n", .set_line = "set_ServiceMode: " #svc "\n",    \
        .record = {__VA_ARGS__},                                                               \
    }

constexpr ServiceModeRow service_modes[SERVICE_MODES] = {
    MODE_ROW(ENUM_SEVICE_MODE_VCOM, PORT_VIRTUALCOM_MODE, LISTEN_TCP_DATA, "s2n_service_mode_vcom.htm"),
    MODE_ROW(ENUM_SEVICE_MODE_SERVER, PORT_SERVER_MODE, LISTEN_TCP_DATA, "s2n_service_mode_tcpsrv.htm"),
    MODE_ROW(ENUM_SEVICE_MODE_CLIENT, PORT_CLIENT_MODE, LISTEN_NONE, "s2n_service_mode_tcpcli.htm"),
    MODE_ROW(ENUM_SEVICE_MODE_UDP, PORT_UDP_MODE, LISTEN_UDP_DATA, "s2n_service_mode_udp.htm"),
    MODE_ROW(ENUM_RTU_SLAVE_MODE, RTU_SLAVE_MODE, LISTEN_TCP_MODBUS, "rtu_slave_mode.htm", .slave = &rtuslave_info),
    MODE_ROW(ENUM_RTU_MASTER_MODE, RTU_MASTER_MODE, LISTEN_NONE, "rtu_master_mode.htm", .master = &rtumaster_info),
    MODE_ROW(ENUM_ASCII_SLAVE_MODE, ASCII_SLAVE_MODE, LISTEN_TCP_MODBUS, "ascii_slave_mode.htm", .slave = &asciislave_info),
    MODE_ROW(ENUM_ASCII_MASTER_MODE, ASCII_MASTER_MODE, LISTEN_NONE, "ascii_master_mode.htm", .master = &asciimaster_info),
};
static_assert([] {
    for (int i = 0; i < SERVICE_MODES; ++i)
        if (service_modes[i].service_mode != i + 1)
            return false;
    return true;
}(), "row i is service i + 1: mode_by_service indexes the table");

const ServiceModeRow *mode_by_port_mode(int32_t port_mode)
{
    for (const ServiceModeRow &row : service_modes)
        if (row.port_mode == port_mode)
            return &row;
    return nullptr;
}

Listen listens_of(int32_t port_mode)
{
    const ServiceModeRow *row = mode_by_port_mode(port_mode);
    return row ? row->listens : LISTEN_NONE;
}

const ServiceModeRow *mode_by_service(int service_mode)
{
    // Subtract in unsigned arithmetic: INT_MIN - 1 must not overflow.
    unsigned index = static_cast<unsigned>(service_mode) - 1u;
    return index < SERVICE_MODES ? &service_modes[index] : nullptr;
}

const ServiceModeRow *modbus_mode_by_page(const char *page)
{
    if (!page)
        return nullptr;
    for (const ServiceModeRow &row : service_modes) {
        ModbusRecord rec = modbus_record(&row);
        if ((rec.master || rec.slave) && text_equal(page, row.page))
            return &row;
    }
    return nullptr;
}

int modbus_port_num(const ServiceModeRow *row)
{
    ModbusRecord rec = modbus_record(row);
    return rec.master ? rec.master->host_port : rec.slave->server_port;
}

int modbus_store(const ServiceModeRow *row, ModbusRecord rec, int idx)
{
    switch (row->port_mode) {
    case RTU_SLAVE_MODE: return set_mbus_rtuslave_mode_info(rec.slave, idx);
    case RTU_MASTER_MODE: return set_mbus_rtumaster_mode_info(rec.master, idx);
    case ASCII_SLAVE_MODE: return set_mbus_asciislave_mode_info(rec.slave, idx);
    case ASCII_MASTER_MODE: return set_mbus_asciimaster_mode_info(rec.master, idx);
    default: return 0;
    }
}
