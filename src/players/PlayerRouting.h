// The routing functions of the players whose own output device the program sets: one read
// and one write per player (PlayerCatalogue.h, Routing), and what follows the transmitter.
#pragma once

#include "types.h"

class PcInfo;
struct AudioDeviceEntry;

namespace players {

plat::String readWindowsMediaPlayerDevice(PcInfo& pc);
int writeWindowsMediaPlayerDevice(PcInfo& pc, int index, const AudioDeviceEntry& chosen,
                                  const plat::String& device);

plat::String readMusicmatchDevice(PcInfo& pc);
int writeMusicmatchDevice(PcInfo& pc, int index, const AudioDeviceEntry& chosen,
                          const plat::String& device);
// Musicmatch follows the user's remembered choice: the transmitter, when it was chosen
// while the player followed the default, comes back as its device at each arrival.
void musicmatchOnTransmitterChange(PcInfo& pc, bool present);

plat::String readWinampDevice(PcInfo& pc);
int writeWinampDevice(PcInfo& pc, int index, const AudioDeviceEntry& chosen,
                      const plat::String& device);

} // namespace players
