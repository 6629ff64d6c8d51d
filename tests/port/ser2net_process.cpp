#include "ser2net_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace {

sockaddr_in Loopback(uint16_t wPort) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(wPort);
    return address;
}

}  // namespace

uint16_t FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t cbAddress = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &cbAddress);
    close(fd);
    return ntohs(address.sin_port);
}

std::string Ser2netYaml(uint16_t wPort, const std::string &device) {
    return "%YAML 1.1\n---\nconnection: &hc11\n    accepter: telnet(rfc2217),tcp,127.0.0.1," +
           std::to_string(wPort) + "\n    connector: serialdev," + device + ",9600n81,local\n";
}

ChildProcess StartSer2net(const std::string &ser2netPath, const std::string &dir,
                          const std::string &yaml) {
    std::ofstream(dir + "/ser2net.yaml") << yaml;
    return StartChild({ser2netPath, "-n", "-d", "-u", "-c", dir + "/ser2net.yaml"},
                      dir + "/ser2net.log");
}

// A connection that ser2net takes opens its device for a moment: the chip behind it sees
// nothing but a port opened and closed.
bool AwaitListener(uint16_t wPort) {
    for (int i = 0; i < 50; i++) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(wPort);
        bool fListening = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
        close(fd);
        if (fListening) return true;
        usleep(100 * 1000);
    }
    return false;
}

void StopSer2net(ChildProcess *pSer2net, const std::string &dir) {
    if (pSer2net->pid > 0) {
        kill(pSer2net->pid, SIGTERM);
        waitpid(pSer2net->pid, NULL, 0);
        close(pSer2net->stdoutFd);
        pSer2net->pid = -1;
    }
    unlink((dir + "/ser2net.yaml").c_str());
    unlink((dir + "/ser2net.log").c_str());
}
