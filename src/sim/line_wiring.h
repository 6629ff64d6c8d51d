// The board's wiring of the host's modem lines (--reset-line, --mode-line, --invert-lines):
// one line holds RESET low while asserted, the other pulls MODA and MODB low (bootstrap)
// while asserted; released, the mode pins take the value they have after power-up (--reset-mode's,
// or --mode's). RESET held and then released resets the chip in the mode its pins then give,
// as SIGUSR1 does.
#pragma once

#include "chip.h"

namespace hc11 {

enum class ModemLine { None, Dtr, Rts };

struct LineWiringOptions {
    ModemLine resetLine = ModemLine::None;
    ModemLine modeLine = ModemLine::None;
    bool invert = false;  // the board's driver inverts: a line acts while the host releases it
};

class LineWiring {
  public:
    LineWiring() = default;
    LineWiring(const LineWiringOptions &options, ChipMode releasedMode)
        : options_(options), releasedMode_(releasedMode) {}

    // The host's DTR and RTS are now as given: moves the chip's pins accordingly.
    void linesMoved(Chip &chip, bool dtr, bool rts);
    bool resetHeld() const { return resetHeld_; }

  private:
    bool asserted(ModemLine line, bool dtr, bool rts) const;

    LineWiringOptions options_;
    ChipMode releasedMode_ = ChipMode::Bootstrap;
    bool resetHeld_ = false;
};

}  // namespace hc11
