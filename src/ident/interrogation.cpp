#include "ident/interrogation.h"

namespace kzt {

// The steps of the sequence are added subsystem by subsystem; until identify exists no identity
// can come in.
InterrogationVerdict runInterrogation() { return InterrogationVerdict::IdentifyFailed; }

}  // namespace kzt
