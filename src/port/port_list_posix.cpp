// The ports on Linux and macOS. Linux describes every tty in /sys/class/tty and names each
// serial port again in /dev/serial/by-id (by the adapter: vendor, product, serial number) and
// /dev/serial/by-path (by the socket it is plugged into); macOS has no sysfs, and its serial
// ports are the /dev/cu.* callout devices.
#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port_list.h"

namespace {

enum {
    MAX_PORTS = 512,
    MAX_PORT_NAME_TEXT = 128,  // a by-id name holds the adapter's vendor, product and serial
    MAX_ATTRIBUTE = 128,
    MAX_IDENTITY = 6 * MAX_ATTRIBUTE,
    USB_LEVELS_UP = 4,
    LINK_INDENT = 18  // under the description, past the device's column
};

struct PortNames {
    char rgszName[MAX_PORTS][MAX_PORT_NAME_TEXT];
    int cNames;
};

// A port listed, with what its by-id name is made of: two adapters alike in all of it (no
// serial number, or clones sharing one) get one by-id name, which then names either.
struct ListedPort {
    char szName[MAX_PORT_NAME_TEXT];  // "ttyUSB0"
    int fUsb;
    int fSerialNumber;
    char szIdentity[MAX_IDENTITY];  // vendor, product, their names, serial, interface
};

struct PortListing {
    ListedPort rgPort[MAX_PORTS];
    int cPorts;
    char szLinkDir[2][PATH_MAX];  // the system's /dev/serial/by-id and /dev/serial/by-path
    PortNames rgLinks[2];         // the names in each; none where the folder is missing
};

const char *const LINK_FOLDERS[2] = {"by-id", "by-path"};

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

// The interface of the USB device that the tty hangs under ("1.0" of ".../1-1/1-1:1.0/ttyUSB0"):
// the ports of one adapter with several differ only in it.
void AppendInterface(const char *pszTtyDir, const char *pszUsbDir, char *pszIdentity) {
    char szDevice[PATH_MAX], szReal[PATH_MAX];
    JoinPath(szDevice, pszTtyDir, "device");
    if (realpath(szDevice, szReal) == NULL) return;
    size_t cchUsb = strlen(pszUsbDir);
    const char *pszBelow = strncmp(szReal, pszUsbDir, cchUsb) == 0 ? szReal + cchUsb : "";
    const char *pchColon = strchr(pszBelow, ':');
    if (pchColon == NULL) return;
    size_t cchHave = strlen(pszIdentity);
    snprintf(pszIdentity + cchHave, MAX_IDENTITY - cchHave, "%.*s", (int)strcspn(pchColon + 1, "/"),
             pchColon + 1);
}

// What the port's by-id name is made of, into pPort.
void ReadListedPort(const char *pszClassDir, const char *pszName, ListedPort *pPort) {
    static const char *const rgpszAttribute[] = {"idVendor", "idProduct", "manufacturer", "product",
                                                 "serial"};
    char szTtyDir[PATH_MAX], szUsbDir[PATH_MAX], szValue[MAX_ATTRIBUTE];
    JoinPath(szTtyDir, pszClassDir, pszName);
    strcpy(pPort->szName, pszName);
    pPort->szIdentity[0] = '\0';
    pPort->fSerialNumber = 0;
    pPort->fUsb = FindUsbDevice(szTtyDir, szUsbDir);
    if (!pPort->fUsb) return;
    size_t cch = 0;
    for (const char *pszAttribute : rgpszAttribute) {
        ReadAttribute(szUsbDir, pszAttribute, szValue);
        cch += (size_t)snprintf(pPort->szIdentity + cch, MAX_IDENTITY - cch, "%s\n", szValue);
    }
    pPort->fSerialNumber = szValue[0] != '\0';  // the last attribute read
    AppendInterface(szTtyDir, szUsbDir, pPort->szIdentity);
}

int AreAlike(const ListedPort *pA, const ListedPort *pB) {
    return pA != pB && pA->fUsb && pB->fUsb && strcmp(pA->szIdentity, pB->szIdentity) == 0;
}

// The last part of the link's target ("ttyUSB0" of "../../ttyUSB0"); "" when it is no link.
void ReadLinkTarget(const char *pszDir, const char *pszLink, char *pszTarget) {
    char szPath[PATH_MAX], szTarget[PATH_MAX];
    JoinPath(szPath, pszDir, pszLink);
    pszTarget[0] = '\0';
    ssize_t cch = readlink(szPath, szTarget, sizeof szTarget - 1);
    if (cch <= 0) return;
    szTarget[cch] = '\0';
    const char *pszLast = strrchr(szTarget, '/');
    pszLast = pszLast != NULL ? pszLast + 1 : szTarget;
    if (strlen(pszLast) < MAX_PORT_NAME_TEXT) strcpy(pszTarget, pszLast);
}

// Whether the link is pPort's name: it points at pPort or, in by-id, at an adapter alike,
// whose name is pPort's too.
int IsNameOfPort(const PortListing *pListing, int iFolder, const char *pszTarget,
                 const ListedPort *pPort) {
    if (strcmp(pszTarget, pPort->szName) == 0) return 1;
    for (int i = 0; iFolder == 0 && i < pListing->cPorts; i++) {
        const ListedPort *pOther = &pListing->rgPort[i];
        if (strcmp(pszTarget, pOther->szName) == 0 && AreAlike(pOther, pPort)) return 1;
    }
    return 0;
}

// Whether the name tells the port from every other, and if not, which others it may name.
void PrintNameNote(const PortListing *pListing, int iFolder, const ListedPort *pPort) {
    if (iFolder == 1) {
        fprintf(stdout, pPort->fUsb ? " (unique: stays with the USB socket)\n" : " (unique)\n");
        return;
    }
    int cAlike = 0;
    for (int i = 0; i < pListing->cPorts; i++) {
        if (!AreAlike(&pListing->rgPort[i], pPort)) continue;
        fprintf(stdout, cAlike++ == 0 ? " (shared with /dev/%s" : ", /dev/%s",
                pListing->rgPort[i].szName);
    }
    if (cAlike > 0)
        fprintf(stdout, ": the by-path name tells them apart)\n");
    else if (pPort->fUsb && !pPort->fSerialNumber)
        fprintf(stdout, " (unique while no adapter like it is plugged in: no serial number)\n");
    else
        fprintf(stdout, " (unique)\n");
}

// The port's names in /dev/serial/by-id, then /dev/serial/by-path, one a line under it.
void PrintPortNames(const PortListing *pListing, const ListedPort *pPort) {
    for (int iFolder = 0; iFolder < 2; iFolder++) {
        const PortNames *pLinks = &pListing->rgLinks[iFolder];
        for (int i = 0; i < pLinks->cNames; i++) {
            char szTarget[MAX_PORT_NAME_TEXT];
            ReadLinkTarget(pListing->szLinkDir[iFolder], pLinks->rgszName[i], szTarget);
            if (!IsNameOfPort(pListing, iFolder, szTarget, pPort)) continue;
            fprintf(stdout, "%*s/dev/serial/%s/%s", LINK_INDENT, "", LINK_FOLDERS[iFolder],
                    pLinks->rgszName[i]);
            PrintNameNote(pListing, iFolder, pPort);
        }
    }
}

// Every present port is read before the first is printed: a by-id name is unique only when
// no other port's adapter is alike.
int ListLinuxPorts(const char *pszClassDir, const PortNames *pNames, PortListing *pListing) {
    pListing->cPorts = 0;
    for (int i = 0; i < pNames->cNames; i++) {
        char szTtyDir[PATH_MAX];
        JoinPath(szTtyDir, pszClassDir, pNames->rgszName[i]);
        if (!IsPresentPort(szTtyDir)) continue;
        ReadListedPort(pszClassDir, pNames->rgszName[i], &pListing->rgPort[pListing->cPorts++]);
    }
    for (int i = 0; i < pListing->cPorts; i++) {
        PrintLinuxPort(pszClassDir, pListing->rgPort[i].szName);
        PrintPortNames(pListing, &pListing->rgPort[i]);
    }
    return pListing->cPorts;
}

// The names in the system's /dev/serial/by-id and by-path; none where a folder is missing.
void CollectPortLinks(const char *pszSystemRoot, PortListing *pListing) {
    for (int i = 0; i < 2; i++) {
        char szFolder[32];
        snprintf(szFolder, sizeof szFolder, "dev/serial/%s", LINK_FOLDERS[i]);
        JoinPath(pListing->szLinkDir[i], pszSystemRoot, szFolder);
        if (!CollectNames(pListing->szLinkDir[i], "", &pListing->rgLinks[i]))
            pListing->rgLinks[i].cNames = 0;
    }
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
    static PortListing listing;
    char szClassDir[PATH_MAX], szDevDir[PATH_MAX];
    JoinPath(szClassDir, pszSystemRoot, "sys/class/tty");
    JoinPath(szDevDir, pszSystemRoot, "dev");
    int cPorts = 0;
    if (CollectNames(szClassDir, "", &names)) {
        CollectPortLinks(pszSystemRoot, &listing);
        cPorts = ListLinuxPorts(szClassDir, &names, &listing);
    } else if (CollectNames(szDevDir, "cu.", &names)) {
        cPorts = ListCalloutDevices(&names);
    } else {
        fprintf(stderr, "ListSerialPorts: Can't read %s or %s\n", szClassDir, szDevDir);
        return 0;
    }
    if (cPorts == 0) fprintf(stdout, "No serial ports found\n");
    return 1;
}
