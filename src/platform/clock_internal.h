// Internal to the platform layer: the virtual clock's bookkeeping of the
// threads plat::Thread starts. Nothing above the platform includes this.
#pragma once

namespace plat {

void ClockAddParticipant();
void ClockRemoveParticipant();
void ClockAdoptParticipant();  // the calling thread was added by its creator

}  // namespace plat
