// The ports on Windows: the registry's SERIALCOMM map names every serial device and its COM
// name; the device's friendly name and its location (the hub and port it is plugged into, which
// tells alike adapters apart) sit under Enum, beside a PortName that matches. The
// registry calls come from advapi32.dll, loaded here so that the program itself imports only
// KERNEL32 and the C runtime.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port_list.h"

namespace {

enum { MAX_PORTS = 256, MAX_NAME = 256 };

typedef LONG(WINAPI *PFN_OPEN)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
typedef LONG(WINAPI *PFN_ENUM_VALUE)(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE,
                                     LPDWORD);
typedef LONG(WINAPI *PFN_ENUM_KEY)(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, PFILETIME);
typedef LONG(WINAPI *PFN_QUERY)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
typedef LONG(WINAPI *PFN_CLOSE)(HKEY);

struct Registry {
    PFN_OPEN pfnOpen;
    PFN_ENUM_VALUE pfnEnumValue;
    PFN_ENUM_KEY pfnEnumKey;
    PFN_QUERY pfnQuery;
    PFN_CLOSE pfnClose;
};

struct Port {
    char szName[MAX_NAME];      // "COM5"
    char szDevice[MAX_NAME];    // "\Device\Serial0"
    char szFriendly[MAX_NAME];  // "USB Serial Port (COM5)", or empty
    char szLocation[MAX_NAME];  // "Port_#0001.Hub_#0003", or empty
};

struct PortTable {
    Port rgPort[MAX_PORTS];
    int cPorts;
};

int LoadRegistry(Registry *pRegistry) {
    HMODULE hAdvapi = LoadLibraryA("advapi32.dll");
    if (hAdvapi == NULL) {
        fprintf(stderr, "ListSerialPorts: Can't load advapi32.dll (%lx)\n", GetLastError());
        return 0;
    }
    pRegistry->pfnOpen = (PFN_OPEN)(void *)GetProcAddress(hAdvapi, "RegOpenKeyExA");
    pRegistry->pfnEnumValue = (PFN_ENUM_VALUE)(void *)GetProcAddress(hAdvapi, "RegEnumValueA");
    pRegistry->pfnEnumKey = (PFN_ENUM_KEY)(void *)GetProcAddress(hAdvapi, "RegEnumKeyExA");
    pRegistry->pfnQuery = (PFN_QUERY)(void *)GetProcAddress(hAdvapi, "RegQueryValueExA");
    pRegistry->pfnClose = (PFN_CLOSE)(void *)GetProcAddress(hAdvapi, "RegCloseKey");
    if (!pRegistry->pfnOpen || !pRegistry->pfnEnumValue || !pRegistry->pfnEnumKey ||
        !pRegistry->pfnQuery || !pRegistry->pfnClose) {
        fprintf(stderr, "ListSerialPorts: advapi32.dll lacks the registry calls\n");
        return 0;
    }
    return 1;
}

// A text value of an open key; "" when it is missing or not text.
void QueryText(const Registry *pRegistry, HKEY hKey, const char *pszValue, char *pszText) {
    DWORD dwType = 0, cbText = MAX_NAME - 1;
    pszText[0] = '\0';
    if (pRegistry->pfnQuery(hKey, pszValue, NULL, &dwType, (LPBYTE)pszText, &cbText) !=
            ERROR_SUCCESS ||
        dwType != REG_SZ) {
        pszText[0] = '\0';
        return;
    }
    pszText[cbText < MAX_NAME ? cbText : MAX_NAME - 1] = '\0';
}

// Every value of SERIALCOMM: the device's kernel name, and its COM name as data.
int ReadSerialComm(const Registry *pRegistry, PortTable *pTable) {
    HKEY hKey;
    pTable->cPorts = 0;
    if (pRegistry->pfnOpen(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                           &hKey) != ERROR_SUCCESS) {
        return 1;  // no serial device has ever been started: the key is made by the first
    }
    for (DWORD i = 0; pTable->cPorts < MAX_PORTS; i++) {
        Port *pPort = &pTable->rgPort[pTable->cPorts];
        DWORD cchDevice = MAX_NAME, dwType = 0, cbName = MAX_NAME - 1;
        if (pRegistry->pfnEnumValue(hKey, i, pPort->szDevice, &cchDevice, NULL, &dwType,
                                    (LPBYTE)pPort->szName, &cbName) != ERROR_SUCCESS) {
            break;
        }
        if (dwType != REG_SZ) continue;
        pPort->szName[cbName < MAX_NAME ? cbName : MAX_NAME - 1] = '\0';
        pPort->szFriendly[0] = '\0';
        pPort->szLocation[0] = '\0';
        pTable->cPorts++;
    }
    pRegistry->pfnClose(hKey);
    return 1;
}

Port *FindPort(PortTable *pTable, const char *pszName) {
    for (int i = 0; i < pTable->cPorts; i++) {
        if (_stricmp(pTable->rgPort[i].szName, pszName) == 0) return &pTable->rgPort[i];
    }
    return NULL;
}

// One device instance under Enum\<bus>\<id>: its Device Parameters name its COM port.
void ReadInstance(const Registry *pRegistry, HKEY hInstance, PortTable *pTable) {
    HKEY hParameters;
    if (pRegistry->pfnOpen(hInstance, "Device Parameters", 0, KEY_READ, &hParameters) !=
        ERROR_SUCCESS) {
        return;
    }
    char szPortName[MAX_NAME];
    QueryText(pRegistry, hParameters, "PortName", szPortName);
    pRegistry->pfnClose(hParameters);
    Port *pPort = szPortName[0] != '\0' ? FindPort(pTable, szPortName) : NULL;
    if (pPort == NULL) return;
    QueryText(pRegistry, hInstance, "FriendlyName", pPort->szFriendly);
    QueryText(pRegistry, hInstance, "LocationInformation", pPort->szLocation);
}

// Walks nDepth levels of subkeys below hKey and reads each device instance at the bottom.
void WalkSubkeys(const Registry *pRegistry, HKEY hKey, int nDepth, PortTable *pTable) {
    char szName[MAX_NAME];
    for (DWORD i = 0;; i++) {
        DWORD cchName = MAX_NAME;
        if (pRegistry->pfnEnumKey(hKey, i, szName, &cchName, NULL, NULL, NULL, NULL) !=
            ERROR_SUCCESS) {
            return;
        }
        HKEY hSubkey;
        if (pRegistry->pfnOpen(hKey, szName, 0, KEY_READ, &hSubkey) != ERROR_SUCCESS) continue;
        if (nDepth == 1) {
            ReadInstance(pRegistry, hSubkey, pTable);
        } else {
            WalkSubkeys(pRegistry, hSubkey, nDepth - 1, pTable);
        }
        pRegistry->pfnClose(hSubkey);
    }
}

// Enum\<bus>\<device id>\<instance>: three levels down to each device instance.
void ReadFriendlyNames(const Registry *pRegistry, PortTable *pTable) {
    HKEY hEnum;
    if (pRegistry->pfnOpen(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum", 0, KEY_READ,
                           &hEnum) != ERROR_SUCCESS) {
        return;
    }
    WalkSubkeys(pRegistry, hEnum, 3, pTable);
    pRegistry->pfnClose(hEnum);
}

// COM2 before COM10: by the number after "COM", then by name.
int ComparePorts(const void *pLeft, const void *pRight) {
    const Port *pA = (const Port *)pLeft, *pB = (const Port *)pRight;
    long nA = strtol(pA->szName + 3, NULL, 10), nB = strtol(pB->szName + 3, NULL, 10);
    if (nA != nB) return nA < nB ? -1 : 1;
    return strcmp(pA->szName, pB->szName);
}

}  // namespace

int ListSerialPorts(const char *) {
    static PortTable table;
    Registry registry;
    if (!LoadRegistry(&registry) || !ReadSerialComm(&registry, &table)) return 0;
    ReadFriendlyNames(&registry, &table);
    qsort(table.rgPort, table.cPorts, sizeof(Port), ComparePorts);
    for (int i = 0; i < table.cPorts; i++) {
        const Port *pPort = &table.rgPort[i];
        fprintf(stdout, "%-17s %s", pPort->szName, pPort->szDevice);
        if (pPort->szFriendly[0] != '\0') fprintf(stdout, ", %s", pPort->szFriendly);
        if (pPort->szLocation[0] != '\0') fprintf(stdout, ", location %s", pPort->szLocation);
        fprintf(stdout, "\n");
    }
    if (table.cPorts == 0) fprintf(stdout, "No serial ports found\n");
    return 1;
}
