// The devkit's record store, with its file system calls traced: a change is
// flushed to the disk before it is renamed over device.bin, a store that
// changes no byte writes no file at all, and one whose write fails keeps
// the file as it was.
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "devcfg.h"
#include "dk_store.h"
#include "record.h"

static std::string trace;

extern "C" int __real_fsync(int fd);
extern "C" int __real_rename(const char *from, const char *to);
extern "C" int __wrap_fsync(int fd) { return trace += "fsync ", __real_fsync(fd); }
extern "C" int __wrap_rename(const char *from, const char *to) { return trace += "rename ", __real_rename(from, to); }

// Each test's own device folder, removed after it.
struct DevkitStore : testing::Test {
    char dir[22] = "/tmp/s2n-store-XXXXXX";
    void SetUp() override { ASSERT_TRUE(mkdtemp(dir)); setenv("DEVKIT_ROOT", dir, 1); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(DevkitStore, FlushesChangesAndWritesNothingElse)
{
    DeviceImage img;
    dk_image_header(&img);
    ASSERT_EQ(dk_write_image(dir, &img), 0);
    for (const char *expected : {"fsync rename ", ""}) {  // a change, then the same again
        trace.clear();
        int mode = RTU_MASTER_MODE;
        EXPECT_EQ(set_mbus_mode_info(&mode, 1), 0);
        EXPECT_EQ(trace, expected);
    }
}

// A file size limit stands in for a full disk: the write fails part way, the
// file keeps its bytes and no temporary file is left.
TEST_F(DevkitStore, FailedWriteKeepsTheFile)
{
    const std::string path = std::string(dir) + "/device.bin", big(8192, 'n');
    ASSERT_EQ(dk_replace_file(path.c_str(), "old", 3, 0644), 0);
    rlimit was;
    getrlimit(RLIMIT_FSIZE, &was);
    const rlimit small = {4096, was.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_NE(dk_replace_file(path.c_str(), big.data(), big.size(), 0644), 0);
    setrlimit(RLIMIT_FSIZE, &was);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

// The devkit's port check counts what a port's stored service listens on
// over TCP, by port_mode, whatever Modbus mode code is stored: a TCP server's
// or virtual COM's data port, the slave record of its slave mode. Port 1
// holds data port 4002, master host ports 5001 and 5002, slave server ports
// 5003 and 5004, and a stale RTU slave mode code.
TEST_F(DevkitStore, PortCheckCountsTcpListenersOnly)
{
    DeviceImage img;
    dk_image_header(&img);
    img.rtumaster[1].host_port = 5001, img.asciimaster[1].host_port = 5002;
    img.rtuslave[1].server_port = 5003, img.asciislave[1].server_port = 5004, img.mbus_mode[1] = RTU_SLAVE_MODE;
    ASSERT_EQ(dk_write_image(dir, &img), 0);
    const int in_use[] = {4002, 0, 0, 4002, 5003, 0, 5004, 0};  // by port_mode 0..7
    PortInfo *port = reinterpret_cast<PortInfo *>(img.port[1]), *ports[DK_PORTS] = {nullptr, port};
    pi_set_port(port, PI_NET_ADDR, 4002);
    for (int mode = 0; mode < 8; ++mode) {
        pi_set_i32(port, PI_PORT_MODE, mode);
        ASSERT_EQ(SaveNewConfig(nullptr, ports, nullptr, nullptr, 0), 0);
        for (int number : {4002, 5001, 5002, 5003, 5004}) {
            int owner = -1;
            EXPECT_EQ(check_valid_port_num(number, &owner), number == in_use[mode]) << mode << " " << number;
            EXPECT_EQ(owner, number == in_use[mode] ? 1 : -1) << mode << " " << number;
        }
    }
}
