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

#endif
