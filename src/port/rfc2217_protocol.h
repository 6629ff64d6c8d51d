// The Telnet side of a network serial port (RFC 854 commands, RFC 2217's COM-PORT-OPTION):
// the bytes the client sends, and a parser of the bytes the server sends. Pure functions over
// bytes, their state in small records: the port in rfc2217_port.cpp owns the socket.
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    TELNET_SE = 240,    // end of a subnegotiation
    TELNET_SB = 250,    // start of a subnegotiation
    TELNET_WILL = 251,  // the sender offers (or agrees) to use an option itself
    TELNET_WONT = 252,
    TELNET_DO = 253,  // the sender asks (or agrees) that the receiver use an option
    TELNET_DONT = 254,
    TELNET_IAC = 255,  // starts every command; doubled, it is the data byte 255

    TELNET_OPTION_BINARY = 0,
    TELNET_OPTION_SUPPRESS_GO_AHEAD = 3,
    TELNET_OPTION_COM_PORT = 44,
};

// COM-PORT-OPTION commands from the client; the server answers each with the command + 100.
enum {
    COM_PORT_SET_BAUDRATE = 1,  // four bytes, most significant first; 0 asks for the rate
    COM_PORT_SET_DATASIZE = 2,
    COM_PORT_SET_PARITY = 3,  // 1 none
    COM_PORT_SET_STOPSIZE = 4,
    COM_PORT_SET_CONTROL = 5,  // see the COM_PORT_CONTROL_* values
    COM_PORT_PURGE_DATA = 12,  // 1 the server's receive side
    COM_PORT_SERVER_ANSWER = 100,

    COM_PORT_CONTROL_BREAK_ON = 5,
    COM_PORT_CONTROL_BREAK_OFF = 6,
    COM_PORT_CONTROL_DTR_ON = 8,
    COM_PORT_CONTROL_DTR_OFF = 9,
    COM_PORT_CONTROL_RTS_ON = 11,
    COM_PORT_CONTROL_RTS_OFF = 12,
    COM_PORT_PARITY_NONE = 1,
    COM_PORT_PURGE_RECEIVE = 1,
};

enum {
    TELNET_SUBNEGOTIATION_ROOM = 64,  // the longest the client keeps; the answers take 5 bytes
    TELNET_COMMAND_ROOM = 16,         // the longest command FormatComPortCommand makes
};

// What ParseTelnetBytes found besides data.
enum TelnetEventKind {
    TELNET_EVENT_NONE,            // the input ran out
    TELNET_EVENT_OPTION,          // bVerb (WILL, WONT, DO, DONT) bOption
    TELNET_EVENT_SUBNEGOTIATION,  // bOption and its bytes
};

struct TelnetEvent {
    TelnetEventKind eKind;
    uint8_t bVerb;
    uint8_t bOption;
    const uint8_t *pbBytes;  // after the option, IAC undoubled; inside the parser
    uint32_t cbBytes;
};

enum TelnetParseState {
    TELNET_PARSE_DATA,
    TELNET_PARSE_COMMAND,  // after IAC
    TELNET_PARSE_OPTION,   // after IAC and a verb
    TELNET_PARSE_SUB_OPTION,
    TELNET_PARSE_SUB,
    TELNET_PARSE_SUB_IAC,
};

// The receive side between two reads: a command may arrive split anywhere.
struct TelnetParser {
    TelnetParseState eState;
    uint8_t bVerb;
    uint8_t bOption;
    uint8_t rgbSub[TELNET_SUBNEGOTIATION_ROOM];
    uint32_t cbSub;  // kept; a longer subnegotiation's tail is dropped
};

void InitTelnetParser(TelnetParser *pParser);

// Consumes pbIn up to its end or up to the end of one option or subnegotiation, which it
// describes in *pEvent. The data bytes consumed are appended to pbData at *pcbData (room
// for cbIn more bytes is needed). Other commands (NOP, GA...) are consumed silently.
// Returns the number of bytes consumed.
size_t ParseTelnetBytes(TelnetParser *pParser, const uint8_t *pbIn, size_t cbIn, uint8_t *pbData,
                        size_t *pcbData, TelnetEvent *pEvent);

// Copies pbIn to pbOut with every 255 doubled, as far as cbOut allows. Sets *pcbConsumed to
// the input bytes copied and returns the output bytes written.
size_t EscapeTelnetData(const uint8_t *pbIn, size_t cbIn, uint8_t *pbOut, size_t cbOut,
                        size_t *pcbConsumed);

// IAC bVerb bOption into pbOut (3 bytes); returns 3.
size_t FormatTelnetOption(uint8_t bVerb, uint8_t bOption, uint8_t *pbOut);

// IAC SB COM-PORT-OPTION bCommand and the value (escaped) IAC SE into pbOut, which has
// TELNET_COMMAND_ROOM bytes; cbValue is 1 or 4. Returns the bytes written.
size_t FormatComPortCommand(uint8_t bCommand, uint32_t dwValue, size_t cbValue, uint8_t *pbOut);

// The value of a server's COM-PORT-OPTION answer (1 or 4 bytes after the command byte).
// Returns 1 when pbBytes holds at least cbValue bytes after the command.
int ReadComPortValue(const uint8_t *pbBytes, uint32_t cbBytes, size_t cbValue, uint32_t *pdwValue);

// Where each side of an option stands (RFC 1143's states, without its queue).
enum TelnetOptionState { TELNET_OPTION_OFF, TELNET_OPTION_WANTED, TELNET_OPTION_ON };

// The client's options: "local" is what the client does (WILL), "remote" the server (DO).
struct TelnetOptions {
    uint8_t rgbLocal[256];
    uint8_t rgbRemote[256];
};

// Everything off; then asks for the options a network serial port needs (BINARY and
// SUPPRESS-GO-AHEAD both ways, COM-PORT-OPTION on the client's side) into pbOut, which has
// room for 15 bytes. Returns the bytes written.
size_t StartTelnetOptions(TelnetOptions *pOptions, uint8_t *pbOut);

// Takes the server's bVerb for bOption and writes the answer it needs (none, or 3 bytes) into
// pbOut. Options other than those asked for are refused; an answer that changes nothing is
// not answered, so that two peers never loop. Returns the bytes written.
size_t AnswerTelnetOption(TelnetOptions *pOptions, uint8_t bVerb, uint8_t bOption, uint8_t *pbOut);

// Splits "rfc2217://HOST:PORT" into HOST (brackets of an IPv6 address removed) and PORT
// (decimal, 1 to 65535). Returns 1, or 0 for anything else or a part longer than its room.
int ParseRfc2217Url(const char *pszUrl, char *pszHost, size_t cchHost, char *pszService,
                    size_t cchService);
