// Getters and setters of the tag table. A getter ignores its argument,
// prints its value to standard output and returns 0; a setter takes the
// submitted value text and returns 0.
#ifndef S2N_TAGS_H
#define S2N_TAGS_H

// Port selection and service mode.
int get_PortIndex(void *);
int set_PortIndex(const char *value);
int get_PortList(void *);
int set_PortList(const char *value);
int get_PortNum(void *);
int get_ServiceMode(void *);
int set_ServiceMode(const char *value);

// UDP port and destination ranges.
int get_udp_port(void *);
int set_udp_port(const char *value);
int get_HostStartIp1(void *);
int set_HostStartIp1(const char *value);
int get_HostEndIp1(void *);
int set_HostEndIp1(const char *value);
int get_SendPort1(void *);
int set_SendPort1(const char *value);
int get_HostStartIp2(void *);
int set_HostStartIp2(const char *value);
int get_HostEndIp2(void *);
int set_HostEndIp2(const char *value);
int get_SendPort2(void *);
int set_SendPort2(const char *value);
int get_HostStartIp3(void *);
int set_HostStartIp3(const char *value);
int get_HostEndIp3(void *);
int set_HostEndIp3(const char *value);
int get_SendPort3(void *);
int set_SendPort3(const char *value);
int get_HostStartIp4(void *);
int set_HostStartIp4(const char *value);
int get_HostEndIp4(void *);
int set_HostEndIp4(const char *value);
int get_SendPort4(void *);
int set_SendPort4(const char *value);

// Modbus gateway parameters (the slave idle timeout tags use the
// connect_timeout functions).
int get_rtumaster_host_addr(void *);
int set_rtumaster_host_addr(const char *value);
int get_rtumaster_host_port(void *);
int set_rtumaster_host_port(const char *value);
int get_rtumaster_idle_timeout(void *);
int set_rtumaster_idle_timeout(const char *value);
int get_rtumaster_alive_check(void *);
int set_rtumaster_alive_check(const char *value);
int get_rtuslave_server_port(void *);
int set_rtuslave_server_port(const char *value);
int get_rtuslave_max_connect(void *);
int set_rtuslave_max_connect(const char *value);
int get_rtuslave_max_try(void *);
int set_rtuslave_max_try(const char *value);
int get_rtuslave_rqstpause(void *);
int set_rtuslave_rqstpause(const char *value);
int get_rtuslave_respwait(void *);
int set_rtuslave_respwait(const char *value);
int get_rtuslave_connect_timeout(void *);
int set_rtuslave_connect_timeout(const char *value);
int get_asciimaster_host_addr(void *);
int set_asciimaster_host_addr(const char *value);
int get_asciimaster_host_port(void *);
int set_asciimaster_host_port(const char *value);
int get_asciimaster_idle_timeout(void *);
int set_asciimaster_idle_timeout(const char *value);
int get_asciimaster_alive_check(void *);
int set_asciimaster_alive_check(const char *value);
int get_asciislave_server_port(void *);
int set_asciislave_server_port(const char *value);
int get_asciislave_max_connect(void *);
int set_asciislave_max_connect(const char *value);
int get_asciislave_max_try(void *);
int set_asciislave_max_try(const char *value);
int get_asciislave_rqstpause(void *);
int set_asciislave_rqstpause(const char *value);
int get_asciislave_respwait(void *);
int set_asciislave_respwait(const char *value);
int get_asciislave_connect_timeout(void *);
int set_asciislave_connect_timeout(const char *value);

#endif
