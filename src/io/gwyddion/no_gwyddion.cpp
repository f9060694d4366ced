// read_here() of a build without Gwyddion.
#include "io/gwyddion/instrument.hpp"

namespace veltrane2::gwyddion {

InstrumentFile read_here(const std::string&, const ChannelPick&) {
    throw ReadError(
        "instrument files are read through Gwyddion, and this veltrane2 was built without it "
        "(install libgwyddion20-dev libgtk2.0-dev libgtkglext1-dev and build again, "
        "or export the scan from Gwyddion as .gsf)");
}

}  // namespace veltrane2::gwyddion
