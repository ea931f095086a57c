#include "platform/cd_drive.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>  // CDSL_CURRENT is INT_MAX

namespace brovana {

bool cdDiscPresent(const char* drive) {
  // Without O_NONBLOCK an empty drive refuses the open, or closes its tray.
  int fd = ::open(drive, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return errno == EBUSY;
  int status = ::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
  bool busy = status < 0 && errno == EBUSY;
  ::close(fd);
  return status == CDS_DISC_OK || busy;
}

}  // namespace brovana
