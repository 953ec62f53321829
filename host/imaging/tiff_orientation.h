// The orientation tag of a TIFF file, which the image library's TIFF
// loader does not pass on.
#pragma once

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

// The orientation (1 to 8) in the first directory of the TIFF file; 1 when
// it has none or the file is not a TIFF one.
int tiff_orientation(const os::read_only_file& file);

} // namespace quorin::host
