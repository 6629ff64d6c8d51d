// The port list read from a made-up system tree: sysfs as Linux lays it out, /dev as macOS.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fake_target.h"
#include "port_list.h"

namespace {

class SystemTree {
  public:
    std::string root = MakeTempDir();
    void dir(const std::string &path) { system(("mkdir -p '" + root + "/" + path + "'").c_str()); }
    void file(const std::string &path, const std::string &text) {
        dir(path.substr(0, path.rfind('/')));
        WriteTextFile(root + "/" + path, text + "\n");
    }
    // /sys/class/tty/NAME, its device link pointing at deviceDir (none when empty).
    void tty(const std::string &name, const std::string &deviceDir) {
        std::string ttyDir = "sys/class/tty/" + name;
        dir(ttyDir);
        if (deviceDir.empty()) return;
        dir(deviceDir);
        symlink((root + "/" + deviceDir).c_str(), (root + "/" + ttyDir + "/device").c_str());
    }
};

std::string List(const std::string &root) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(ListSerialPorts(root.c_str()), 1);
    return testing::internal::GetCapturedStdout();
}

TEST(ListSerialPorts, LinuxPortsWithTheirUsbDevices) {
    SystemTree tree;
    const std::string usb = "sys/devices/pci0000:00/usb1/1-1";
    tree.file(usb + "/idVendor", "0403");
    tree.file(usb + "/idProduct", "6001");
    tree.file(usb + "/manufacturer", "FTDI");
    tree.file(usb + "/product", "FT232R USB UART");
    tree.file(usb + "/serial", "A50285BI");
    tree.tty("ttyUSB0", usb + "/1-1:1.0/ttyUSB0");
    const std::string acm = "sys/devices/pci0000:00/usb1/1-2";
    tree.file(acm + "/idVendor", "2341");
    tree.file(acm + "/idProduct", "0043");
    tree.tty("ttyACM0", acm + "/1-2:1.0");
    tree.tty("ttyS0", "sys/devices/pnp0/00:04/00:04:0/00:04:0.0");
    tree.file("sys/class/tty/ttyS0/type", "4");
    tree.tty("ttyS1", "sys/devices/platform/serial8250/serial8250:0/serial8250:0.1");
    tree.file("sys/class/tty/ttyS1/type", "0");  // no UART answered there
    tree.tty("tty1", "");                        // a virtual console: no device
    EXPECT_EQ(List(tree.root),
              "/dev/ttyACM0      USB 2341:0043\n"
              "/dev/ttyS0        serial port, -c 1\n"
              "/dev/ttyUSB0      USB 0403:6001 FTDI FT232R USB UART, serial A50285BI\n");
}

TEST(ListSerialPorts, NoPortSaysSo) {
    SystemTree tree;
    tree.tty("tty0", "");
    tree.tty("ptmx", "");
    EXPECT_EQ(List(tree.root), "No serial ports found\n");
}

TEST(ListSerialPorts, WithoutSysfsTheCalloutDevicesOfMacOs) {
    SystemTree tree;
    tree.file("dev/cu.usbserial-A50285BI", "");
    tree.file("dev/tty.usbserial-A50285BI", "");
    tree.file("dev/cu.Bluetooth-Incoming-Port", "");
    EXPECT_EQ(List(tree.root), "/dev/cu.Bluetooth-Incoming-Port\n/dev/cu.usbserial-A50285BI\n");
}

}  // namespace
