#pragma once

namespace kzt {

// How the interrogation sequence ended.
enum class InterrogationVerdict {
  Served,          // the controller check passed and the whole sequence ran
  NotServed,       // identify data came in, but the drive is not one this tool serves
  IdentifyFailed,  // no identify data: the command failed, the device flagged an error, or
                   // its dump could not be loaded
};

// The interrogation sequence: identify and controller check, vendor readouts, bank map and
// geometry, bad-block lists, erase-count file.
InterrogationVerdict runInterrogation();

}  // namespace kzt
