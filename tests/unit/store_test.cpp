// The devkit's record store, with its file system calls traced: a change is
// flushed to the disk before it is renamed over device.bin, and a store
// that changes no byte writes no file at all.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "devcfg.h"
#include "dk_store.h"

static std::string trace;

extern "C" int __real_fsync(int fd);
extern "C" int __real_rename(const char *from, const char *to);
extern "C" int __wrap_fsync(int fd) { return trace += "fsync ", __real_fsync(fd); }
extern "C" int __wrap_rename(const char *from, const char *to) { return trace += "rename ", __real_rename(from, to); }

TEST(DevkitStore, FlushesChangesAndWritesNothingElse)
{
    char dir[] = "/tmp/s2n-store-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    DeviceImage img;
    dk_image_header(&img);
    ASSERT_EQ(dk_write_image(dir, &img), 0);
    setenv("DEVKIT_ROOT", dir, 1);
    for (const char *expected : {"fsync rename ", ""}) {  // a change, then the same again
        trace.clear();
        int mode = RTU_MASTER_MODE;
        EXPECT_EQ(set_mbus_mode_info(&mode, 1), 0);
        EXPECT_EQ(trace, expected);
    }
    std::filesystem::remove_all(dir);
}
