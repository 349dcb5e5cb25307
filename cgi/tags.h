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

// Device status, the pending message and the connection reset.
int get_fw_version(void *);
int get_uptime(void *);
int get_wanip(void *);  // 1 after printing "N/A"
int get_ClearConn(void *);
int clear_connection(const char *value);
int get_ret_msg(void *);

// Virtual COM, TCP server and TCP client settings, link counts, ConnectOn
// and the encryption switch.
int get_VcomIdleTimeout(void *);
int set_VcomIdleTimeout(const char *value);
int get_VcomAliveCheck(void *);
int set_VcomAliveCheck(const char *value);
int get_tcp_server_port(void *);
int set_tcp_server_port(const char *value);
int get_server_idle_timeout(void *);
int set_server_idle_timeout(const char *value);
int get_server_alive_check(void *);
int set_server_alive_check(const char *value);
int get_tcp_client_ip(void *);
int set_tcp_client_ip(const char *value);
int get_tcp_client_port(void *);
int set_tcp_client_port(const char *value);
int get_client_idle_timeout(void *);
int set_client_idle_timeout(const char *value);
int get_client_alive_check(void *);
int set_client_alive_check(const char *value);
int get_client_link_ip1(void *);
int set_client_link_ip1(const char *value);
int get_client_link_port1(void *);
int set_client_link_port1(const char *value);
int get_client_link_ip2(void *);
int set_client_link_ip2(const char *value);
int get_client_link_port2(void *);
int set_client_link_port2(const char *value);
int get_client_link_ip3(void *);
int set_client_link_ip3(const char *value);
int get_client_link_port3(void *);
int set_client_link_port3(const char *value);
int get_client_link_ip4(void *);
int set_client_link_ip4(const char *value);
int get_client_link_port4(void *);
int set_client_link_port4(const char *value);
int get_VcomLinkCnt(void *);
int set_VcomLinkCnt(const char *value);
int get_ServerLinkCnt(void *);
int set_ServerLinkCnt(const char *value);
int get_ConnectOn(void *);
int set_ConnectOn(const char *value);
int get_EncryptionEnable(void *);
int set_EncryptionEnable(const char *value);

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
