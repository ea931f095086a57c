#pragma once
// Whether the CD drive holds a disc, for the CD audio source: the drive's status from the
// Linux CD-ROM driver. A drive that another program holds open exclusively counts as loaded,
// since that program is most likely playing it.

namespace brovana {

inline constexpr const char* kCdDrive = "/dev/cdrom";

bool cdDiscPresent(const char* drive = kCdDrive);

}  // namespace brovana
