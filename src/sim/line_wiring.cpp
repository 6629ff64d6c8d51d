#include "line_wiring.h"

namespace hc11 {

bool LineWiring::asserted(ModemLine line, bool dtr, bool rts) const {
    if (line == ModemLine::None) return false;
    bool on = line == ModemLine::Dtr ? dtr : rts;
    return on != options_.invert;
}

// The mode pins move first: a host that releases RESET and the mode line at once gets the
// mode the pins have after both moved.
void LineWiring::linesMoved(Chip &chip, bool dtr, bool rts) {
    if (options_.modeLine != ModemLine::None) {
        bool bootstrap = asserted(options_.modeLine, dtr, rts);
        chip.setModePins(bootstrap ? ChipMode::Bootstrap : releasedMode_);
    }
    if (options_.resetLine == ModemLine::None) return;
    bool hold = asserted(options_.resetLine, dtr, rts);
    if (hold == resetHeld_) return;
    resetHeld_ = hold;
    chip.trace().line(chip.cycles(), "lines: RESET %s", hold ? "held low" : "released");
    if (!hold) chip.reset();
}

}  // namespace hc11
