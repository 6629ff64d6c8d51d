// The ports on Linux and macOS. Linux describes every tty in /sys/class/tty; macOS has no
// sysfs, and its serial ports are the /dev/cu.* callout devices.
#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port_list.h"

namespace {

enum { MAX_PORTS = 512, MAX_PORT_NAME_TEXT = 64, MAX_ATTRIBUTE = 128, USB_LEVELS_UP = 4 };

struct PortNames {
    char rgszName[MAX_PORTS][MAX_PORT_NAME_TEXT];
    int cNames;
};

// pszDir/pszName into szPath; "" when it would not fit (no such file will then be found).
void JoinPath(char (&szPath)[PATH_MAX], const char *pszDir, const char *pszName) {
    if (snprintf(szPath, PATH_MAX, "%s/%s", pszDir, pszName) >= PATH_MAX) szPath[0] = '\0';
}

// Reads the first line of a sysfs attribute; "" when the file is missing.
void ReadAttribute(const char *pszDir, const char *pszName, char *pszValue) {
    char szPath[PATH_MAX];
    JoinPath(szPath, pszDir, pszName);
    pszValue[0] = '\0';
    FILE *pFile = fopen(szPath, "r");
    if (pFile == NULL) return;
    if (fgets(pszValue, MAX_ATTRIBUTE, pFile) == NULL) pszValue[0] = '\0';
    pszValue[strcspn(pszValue, "\r\n")] = '\0';
    fclose(pFile);
}

int CompareNames(const void *pLeft, const void *pRight) {
    return strcmp((const char *)pLeft, (const char *)pRight);
}

// The names in pszDir that begin with pszPrefix, sorted. Returns 0 when pszDir can't be read.
int CollectNames(const char *pszDir, const char *pszPrefix, PortNames *pNames) {
    DIR *pDir = opendir(pszDir);
    if (pDir == NULL) return 0;
    pNames->cNames = 0;
    while (struct dirent *pEntry = readdir(pDir)) {
        const char *pszName = pEntry->d_name;
        if (pszName[0] == '.' || strncmp(pszName, pszPrefix, strlen(pszPrefix)) != 0) continue;
        if (strlen(pszName) >= MAX_PORT_NAME_TEXT || pNames->cNames == MAX_PORTS) continue;
        strcpy(pNames->rgszName[pNames->cNames++], pszName);
    }
    closedir(pDir);
    qsort(pNames->rgszName, pNames->cNames, MAX_PORT_NAME_TEXT, CompareNames);
    return 1;
}

// A tty is a serial port when a device stands behind it (virtual consoles and ptys have
// none) and, for a serial-core port, its UART type is known: type 0 means no UART answered
// at that port, as for most of the ttyS0-ttyS31 a PC kernel always makes.
int IsPresentPort(const char *pszTtyDir) {
    char szDevice[PATH_MAX], szType[MAX_ATTRIBUTE];
    JoinPath(szDevice, pszTtyDir, "device");
    if (access(szDevice, F_OK) != 0) return 0;
    ReadAttribute(pszTtyDir, "type", szType);
    return strcmp(szType, "0") != 0;
}

// A USB adapter's port sits a level or two below the USB device, which holds idVendor.
int FindUsbDevice(const char *pszTtyDir, char *pszUsbDir) {
    char szDevice[PATH_MAX], szVendor[MAX_ATTRIBUTE];
    JoinPath(szDevice, pszTtyDir, "device");
    if (realpath(szDevice, pszUsbDir) == NULL) return 0;
    for (int i = 0; i < USB_LEVELS_UP; i++) {
        ReadAttribute(pszUsbDir, "idVendor", szVendor);
        if (szVendor[0] != '\0') return 1;
        char *pchSlash = strrchr(pszUsbDir, '/');
        if (pchSlash == NULL || pchSlash == pszUsbDir) return 0;
        *pchSlash = '\0';
    }
    return 0;
}

void DescribeUsbDevice(const char *pszUsbDir) {
    char szVendor[MAX_ATTRIBUTE], szProduct[MAX_ATTRIBUTE], szText[MAX_ATTRIBUTE];
    ReadAttribute(pszUsbDir, "idVendor", szVendor);
    ReadAttribute(pszUsbDir, "idProduct", szProduct);
    fprintf(stdout, "USB %s:%s", szVendor, szProduct);
    ReadAttribute(pszUsbDir, "manufacturer", szText);
    if (szText[0] != '\0') fprintf(stdout, " %s", szText);
    ReadAttribute(pszUsbDir, "product", szText);
    if (szText[0] != '\0') fprintf(stdout, " %s", szText);
    ReadAttribute(pszUsbDir, "serial", szText);
    if (szText[0] != '\0') fprintf(stdout, ", serial %s", szText);
}

void PrintLinuxPort(const char *pszClassDir, const char *pszName) {
    char szTtyDir[PATH_MAX], szUsbDir[PATH_MAX];
    JoinPath(szTtyDir, pszClassDir, pszName);
    char szDevice[PATH_MAX];
    JoinPath(szDevice, "/dev", pszName);
    fprintf(stdout, "%-17s ", szDevice);
    if (FindUsbDevice(szTtyDir, szUsbDir)) {
        DescribeUsbDevice(szUsbDir);
    } else {
        fprintf(stdout, "serial port");
    }
    // Port n of "-c" is /dev/ttyS(n-1).
    unsigned dwIndex = 0;
    char chEnd = 0;
    if (sscanf(pszName, "ttyS%u%c", &dwIndex, &chEnd) == 1) fprintf(stdout, ", -c %u", dwIndex + 1);
    fprintf(stdout, "\n");
}

int ListLinuxPorts(const char *pszClassDir, PortNames *pNames) {
    int cPorts = 0;
    for (int i = 0; i < pNames->cNames; i++) {
        char szTtyDir[PATH_MAX];
        JoinPath(szTtyDir, pszClassDir, pNames->rgszName[i]);
        if (!IsPresentPort(szTtyDir)) continue;
        PrintLinuxPort(pszClassDir, pNames->rgszName[i]);
        cPorts++;
    }
    return cPorts;
}

int ListCalloutDevices(const PortNames *pNames) {
    for (int i = 0; i < pNames->cNames; i++) {
        fprintf(stdout, "/dev/%s\n", pNames->rgszName[i]);
    }
    return pNames->cNames;
}

}  // namespace

int ListSerialPorts(const char *pszSystemRoot) {
    static PortNames names;
    char szClassDir[PATH_MAX], szDevDir[PATH_MAX];
    JoinPath(szClassDir, pszSystemRoot, "sys/class/tty");
    JoinPath(szDevDir, pszSystemRoot, "dev");
    int cPorts = 0;
    if (CollectNames(szClassDir, "", &names)) {
        cPorts = ListLinuxPorts(szClassDir, &names);
    } else if (CollectNames(szDevDir, "cu.", &names)) {
        cPorts = ListCalloutDevices(&names);
    } else {
        fprintf(stderr, "ListSerialPorts: Can't read %s or %s\n", szClassDir, szDevDir);
        return 0;
    }
    if (cPorts == 0) fprintf(stdout, "No serial ports found\n");
    return 1;
}
