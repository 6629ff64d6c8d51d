#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "crystal.h"
#include "hex_digit.h"
#include "rfc2217_wire.h"

namespace hc11 {

namespace {

bool ParseHexAddress(const char *text, const char *end, uint16_t *value) {
    if (text == end || end - text > 4) return false;
    unsigned result = 0;
    for (const char *p = text; p != end; p++) {
        int digit = ::HexDigitValue(*p);
        if (digit < 0) return false;
        result = result * 16 + unsigned(digit);
    }
    *value = uint16_t(result);
    return true;
}

bool ParseRange(const char *text, AddressRange *range) {
    const char *dash = std::strchr(text, '-');
    if (!dash) return false;
    return ParseHexAddress(text, dash, &range->first) &&
           ParseHexAddress(dash + 1, dash + std::strlen(dash), &range->last) &&
           range->first <= range->last;
}

bool ParseSeconds(const char *text, double *seconds) {
    char *end = nullptr;
    *seconds = std::strtod(text, &end);
    return end != text && *end == '\0' && *seconds > 0;
}

// Read as hc11prog's "-x" reads it, so that the same words name the same board.
bool ParseCrystal(const char *text, double *hz) {
    uint32_t crystalHz = 0;
    if (!ReadCrystalMhz(text, &crystalHz)) return false;
    *hz = crystalHz;
    return true;
}

bool ParseMode(const char *text, ChipMode *mode) {
    const std::pair<const char *, ChipMode> names[] = {{"bootstrap", ChipMode::Bootstrap},
                                                       {"single", ChipMode::SingleChip},
                                                       {"expanded", ChipMode::Expanded}};
    for (const auto &[name, value] : names) {
        if (std::strcmp(text, name) != 0) continue;
        *mode = value;
        return true;
    }
    return false;
}

bool ParseModemLine(const char *text, ModemLine *line) {
    if (!std::strcmp(text, "dtr"))
        *line = ModemLine::Dtr;
    else if (!std::strcmp(text, "rts"))
        *line = ModemLine::Rts;
    else
        return false;
    return true;
}

std::string PartNames() {
    std::string names;
    for (unsigned i = 0; i < GetPartCount(); i++)
        names += std::string(i ? ", " : "") + GetPartByIndex(i)->pszName;
    return names;
}

bool Refuse(const char *option, const char *expected) {
    std::fprintf(stderr, "hc11sim: %s expects %s\n", option, expected);
    return false;
}

// Takes the value of an option that has one; false after a message when it is missing or bad.
bool TakeValue(const char *option, const char *value, SimOptions *options,
               std::vector<std::string> *faultTexts) {
    if (!value) return Refuse(option, "a value");
    if (!std::strcmp(option, "--link")) {
        options->linkPath = value;
    } else if (!std::strcmp(option, "--dump")) {
        options->dumpPath = value;
    } else if (!std::strcmp(option, "--eeprom")) {
        options->eepromPath = value;
    } else if (!std::strcmp(option, "--xram")) {
        AddressRange range;
        if (!ParseRange(value, &range)) return Refuse(option, "START-END in hex, e.g. 2000-7FFF");
        options->xram = range;
    } else if (!std::strcmp(option, "--fault")) {
        faultTexts->push_back(value);  // read once the part is known
    } else if (!std::strcmp(option, "--part")) {
        options->part = FindPart(value);
        if (!options->part) return Refuse(option, ("one of " + PartNames()).c_str());
    } else if (!std::strcmp(option, "--mode")) {
        if (!ParseMode(value, &options->mode))
            return Refuse(option, "bootstrap, single or expanded");
    } else if (!std::strcmp(option, "--reset-after")) {
        if (!ParseSeconds(value, &options->resetAfterSeconds))
            return Refuse(option, "a number of seconds above 0");
    } else if (!std::strcmp(option, "--reset-mode")) {
        ChipMode mode;
        if (!ParseMode(value, &mode)) return Refuse(option, "bootstrap, single or expanded");
        options->resetMode = mode;
    } else if (!std::strcmp(option, "--crystal")) {
        if (!ParseCrystal(value, &options->crystalHz))
            return Refuse(option, "the crystal's frequency in MHz, from 1 to 20 (e.g. 7.3728)");
    } else if (!std::strcmp(option, "--listen")) {
        if (!ParseListenAddress(value, &options->listenHost, &options->listenPort))
            return Refuse(option, "PORT or HOST:PORT, HOST an IPv4 address");
        options->listen = true;
    } else if (!std::strcmp(option, "--reset-line") || !std::strcmp(option, "--mode-line")) {
        bool reset = !std::strcmp(option, "--reset-line");
        if (!ParseModemLine(value, reset ? &options->wiring.resetLine : &options->wiring.modeLine))
            return Refuse(option, "dtr or rts");
    } else if (!std::strcmp(option, "--latency")) {
        if (!ParseSeconds(value, &options->latencyMs))
            return Refuse(option, "a number of milliseconds above 0");
    } else if (!ParseSeconds(value, &options->exitAfterSeconds)) {
        return Refuse(option, "a number of seconds above 0");
    }
    return true;
}

bool TakeFaults(const std::vector<std::string> &texts, SimOptions *options) {
    for (const std::string &text : texts) {
        Fault fault;
        if (!ParseFault(text, &fault, *options->part))
            return Refuse("--fault",
                          "silent, drop:N, corrupt:N, noise:N, unplug:N, reset:N (N from 1) or "
                          "stuck:ADDR (an EEPROM address of the part, in hex)");
        options->faults.push_back(fault);
    }
    return true;
}

// External RAM goes where the chip has nothing of its own.
bool CheckExternalRam(const SimOptions &options) {
    if (!options.xram) return true;
    std::string overlapped = ChipMemoriesIn(*options.part, *options.xram);
    if (overlapped.empty()) return true;
    std::fprintf(stderr, "hc11sim: --xram %04X-%04X overlaps the %s's own %s\n",
                 options.xram->first, options.xram->last, options.part->pszName,
                 overlapped.c_str());
    return false;
}

bool SetFlag(const char *argument, SimOptions *options) {
    if (!std::strcmp(argument, "--realtime")) return options->realtime = true;
    if (!std::strcmp(argument, "--secure")) return options->secure = true;
    if (!std::strcmp(argument, "--trace")) return options->trace = true;
    if (!std::strcmp(argument, "--stats")) return options->stats = true;
    if (!std::strcmp(argument, "--invert-lines")) return options->wiring.invert = true;
    if (!std::strcmp(argument, "-h") || !std::strcmp(argument, "--help"))
        return options->help = true;
    return false;
}

bool TakesValue(const char *argument) {
    for (const char *option : {"--link", "--dump", "--eeprom", "--xram", "--exit-after", "--fault",
                               "--part", "--mode", "--latency", "--reset-after", "--crystal",
                               "--reset-mode", "--listen", "--reset-line", "--mode-line"})
        if (!std::strcmp(argument, option)) return true;
    return false;
}

// The modem lines exist only on the network port, the terminal only without it, and one line
// cannot do two things.
bool CheckWiring(const SimOptions &options) {
    const LineWiringOptions &wiring = options.wiring;
    bool wired = wiring.resetLine != ModemLine::None || wiring.modeLine != ModemLine::None;
    if ((wired || wiring.invert) && !options.listen) {
        std::fprintf(stderr,
                     "hc11sim: --reset-line, --mode-line and --invert-lines need --listen\n");
        return false;
    }
    if (options.listen && !options.linkPath.empty()) {
        std::fprintf(stderr, "hc11sim: --link names a terminal, which --listen does not open\n");
        return false;
    }
    if (wired && wiring.resetLine == wiring.modeLine) {
        std::fprintf(stderr, "hc11sim: --reset-line and --mode-line name the same line\n");
        return false;
    }
    return true;
}

}  // namespace

ParseResult ParseSimOptions(int argc, char **argv, SimOptions *options) {
    std::vector<std::string> faultTexts;
    for (int i = 1; i < argc; i++) {
        const char *argument = argv[i];
        if (TakesValue(argument)) {
            if (!TakeValue(argument, i + 1 < argc ? argv[i + 1] : nullptr, options, &faultTexts))
                return ParseResult::Error;
            i++;
        } else if (!SetFlag(argument, options)) {
            std::fprintf(stderr, "hc11sim: unknown argument %s (-h for help)\n", argument);
            return ParseResult::Error;
        }
    }
    if (!TakeFaults(faultTexts, options) || !CheckExternalRam(*options) || !CheckWiring(*options))
        return ParseResult::Error;
    return options->help ? ParseResult::Help : ParseResult::Run;
}

void PrintSimUsage(const char *programName) {
    std::printf(
        "usage: %s [options]\n"
        "A simulated 68HC11 target (the 68HC811E2 unless --part says otherwise), reset in\n"
        "the mode --mode gives (special bootstrap unless it says otherwise), behind a\n"
        "pseudo-terminal. The first line of output is the terminal's path.\n"
        "  --part NAME          the chip: %s\n"
        "  --mode MODE          the mode pins at power-up and every reset: bootstrap (the\n"
        "                       default), single (single-chip) or expanded, where the CPU\n"
        "                       starts from the reset vector; EEPROM, CONFIG and external\n"
        "                       RAM are kept across resets\n"
        "  --reset-after SECONDS  reset the chip once, that long after it started serving;\n"
        "                       SIGUSR1 resets it at any time\n"
        "  --secure             the part's mask honours CONFIG's NOSEC: with NOSEC clear,\n"
        "                       the boot ROM erases EEPROM, RAM and CONFIG first\n"
        "  --link PATH          make PATH a symbolic link to the terminal\n"
        "  --eeprom FILE        preload EEPROM and CONFIG from an S19 file\n"
        "  --dump FILE          at exit, write RAM, EEPROM, CONFIG and external RAM as S19\n"
        "  --xram START-END     external RAM (hex, e.g. 2000-7FFF), reached in expanded mode\n"
        "  --exit-after SECONDS exit after that long without wire activity\n"
        "  --realtime           run at the E clock's rate in wall-clock time, not as fast as\n"
        "                       possible\n"
        "  --latency MS         hold the bytes sent to the host as a USB adapter does: they\n"
        "                       go together once MS ms have passed since the first one\n"
        "                       held, or once 62 are held\n"
        "  --trace              trace instructions, EEPROM control and wire bytes on stderr\n"
        "  --stats              print counters at exit\n"
        "  --fault KIND[:ARG]   play a failure of the field (repeatable); N counts the\n"
        "                       bytes the target sends, from 1, over the whole session:\n"
        "      silent           the board is not in bootstrap mode and never answers\n"
        "      drop:N           byte N is never sent\n"
        "      corrupt:N        byte N is sent with its bits inverted\n"
        "      noise:N          an extra byte $55 follows byte N\n"
        "      stuck:ADDR       the EEPROM byte at ADDR (hex) ignores programming and erasing\n"
        "      unplug:N         the line goes dead after byte N: nothing more sent or received\n"
        "      reset:N          the chip resets (in its pins' mode) after byte N\n"
        "  --crystal MHZ        the crystal (default 8, e.g. 4.9152, 7.3728, 12, 16); E runs\n"
        "                       at a quarter of it, and the boot ROM's rates, the EEPROM's\n"
        "                       programming time in real time, the timers and --realtime\n"
        "                       follow it\n"
        "  --reset-mode MODE    the mode pins from the first reset after power-up on, as\n"
        "                       when the jumper is moved once the board is programmed:\n"
        "                       --mode bootstrap (power-up) with --reset-mode single\n"
        "  --listen [HOST:]PORT serve the chip over RFC 2217 on a TCP port (HOST 127.0.0.1\n"
        "                       unless given) instead of a pseudo-terminal, one client at\n"
        "                       a time; the first line of output is then rfc2217://HOST:PORT\n"
        "  --reset-line LINE    with --listen: the client's dtr or rts holds RESET low while\n"
        "                       asserted; released, the chip starts in the mode of its pins\n"
        "  --mode-line LINE     with --listen: the client's dtr or rts pulls MODA and MODB\n"
        "                       low (bootstrap) while asserted; released, they take\n"
        "                       --reset-mode's value when given, else --mode's\n"
        "  --invert-lines       the board's driver inverts: a line acts while released\n"
        "  -h                   this help\n",
        programName, PartNames().c_str());
}

}  // namespace hc11
