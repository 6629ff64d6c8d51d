// The port list read from a made-up system tree: sysfs as Linux lays it out, /dev as macOS.
#include <gmock/gmock.h>
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
    // A USB adapter at usbDir; "" leaves an attribute out.
    void usb(const std::string &usbDir, const std::string &ids, const std::string &product,
             const std::string &serial) {
        file(usbDir + "/idVendor", ids.substr(0, 4));
        file(usbDir + "/idProduct", ids.substr(5));
        if (!product.empty()) file(usbDir + "/product", product);
        if (!serial.empty()) file(usbDir + "/serial", serial);
    }
    // /dev/serial/FOLDER/NAME -> ../../TTY, as udev makes it.
    void link(const std::string &folder, const std::string &name, const std::string &tty) {
        dir("dev/serial/" + folder);
        symlink(("../../" + tty).c_str(), (root + "/dev/serial/" + folder + "/" + name).c_str());
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

// Two adapters alike without a serial number share one by-id name, which names the one udev
// saw last; each socket keeps its by-path name. One dual adapter's two ports differ by their
// interface, and a link to a port that is gone names nothing listed.
TEST(ListSerialPorts, ByIdAndByPathNamesAndWhichAreUnique) {
    SystemTree tree;
    const std::string hub = "sys/devices/pci0000:00/0000:00:14.0/usb1/";
    tree.usb(hub + "1-1", "0403:6001", "FT232R USB UART", "A50285BI");
    tree.usb(hub + "1-2", "1a86:7523", "USB Serial", "");
    tree.usb(hub + "1-3", "1a86:7523", "USB Serial", "");
    tree.usb(hub + "1-4", "0403:6010", "Dual RS232-HS", "FT4ABC");
    tree.tty("ttyUSB0", hub + "1-1/1-1:1.0/ttyUSB0");
    tree.tty("ttyUSB1", hub + "1-2/1-2:1.0/ttyUSB1");
    tree.tty("ttyUSB2", hub + "1-3/1-3:1.0/ttyUSB2");
    tree.tty("ttyUSB3", hub + "1-4/1-4:1.0/ttyUSB3");
    tree.tty("ttyUSB4", hub + "1-4/1-4:1.1/ttyUSB4");
    tree.tty("ttyS0", "sys/devices/pnp0/00:04/00:04:0/00:04:0.0");
    tree.file("sys/class/tty/ttyS0/type", "4");
    tree.link("by-id", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
    tree.link("by-id", "usb-1a86_USB_Serial-if00-port0", "ttyUSB2");
    tree.link("by-id", "usb-FTDI_Dual_RS232-HS_FT4ABC-if00-port0", "ttyUSB3");
    tree.link("by-id", "usb-FTDI_Dual_RS232-HS_FT4ABC-if01-port0", "ttyUSB4");
    tree.link("by-id", "usb-Gone_Adapter-if00-port0", "ttyUSB9");
    for (int i = 0; i < 4; i++) {
        std::string socket = "pci-0000:00:14.0-usb-0:" + std::to_string(i + 1) + ":1.0-port0";
        tree.link("by-path", socket, "ttyUSB" + std::to_string(i));
    }
    tree.link("by-path", "pci-0000:00:14.0-usb-0:4:1.1-port0", "ttyUSB4");
    const std::string kIndent(18, ' '), kById = kIndent + "/dev/serial/by-id/",
                                        kByPath = kIndent + "/dev/serial/by-path/pci-0000:00:14.0-";
    const std::string kSocket = "-port0 (unique: stays with the USB socket)\n";
    const std::string kShared = "usb-1a86_USB_Serial-if00-port0 (shared with /dev/";
    EXPECT_EQ(List(tree.root),
              "/dev/ttyS0        serial port, -c 1\n"
              "/dev/ttyUSB0      USB 0403:6001 FT232R USB UART, serial A50285BI\n" +
                  kById + "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (unique)\n" + kByPath +
                  "usb-0:1:1.0" + kSocket + "/dev/ttyUSB1      USB 1a86:7523 USB Serial\n" + kById +
                  kShared + "ttyUSB2: the by-path name tells them apart)\n" + kByPath +
                  "usb-0:2:1.0" + kSocket + "/dev/ttyUSB2      USB 1a86:7523 USB Serial\n" + kById +
                  kShared + "ttyUSB1: the by-path name tells them apart)\n" + kByPath +
                  "usb-0:3:1.0" + kSocket +
                  "/dev/ttyUSB3      USB 0403:6010 Dual RS232-HS, serial FT4ABC\n" + kById +
                  "usb-FTDI_Dual_RS232-HS_FT4ABC-if00-port0 (unique)\n" + kByPath + "usb-0:4:1.0" +
                  kSocket + "/dev/ttyUSB4      USB 0403:6010 Dual RS232-HS, serial FT4ABC\n" +
                  kById + "usb-FTDI_Dual_RS232-HS_FT4ABC-if01-port0 (unique)\n" + kByPath +
                  "usb-0:4:1.1" + kSocket);
    // Alone, an adapter without a serial number has a by-id name of its own only for now
    // (udev moves the link to it once the other is unplugged).
    system(("rm -rf '" + tree.root + "/sys/class/tty/ttyUSB2' '" + tree.root +
            "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0'")
               .c_str());
    tree.link("by-id", "usb-1a86_USB_Serial-if00-port0", "ttyUSB1");
    EXPECT_THAT(List(tree.root),
                testing::HasSubstr("/dev/ttyUSB1      USB 1a86:7523 USB Serial\n" + kIndent +
                                   "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0 (unique "
                                   "while no adapter like it is plugged in: no serial number)\n"));
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
