#include <korutil/collections.h>

// Pure, yet every derived destructor runs it.
CCollection::~CCollection() {}
