#include <korutil/files.h>

// Pure, but with bodies: the destructors of the derived files run them.
CFile::~CFile() {}

CDiskFile::~CDiskFile() {}
