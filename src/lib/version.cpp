#include "vantrel/version.h"

extern "C" {

int vantrel_version(void) { return VANTREL_VERSION; }

const char* vantrel_version_string(void) { return VANTREL_VERSION_STRING; }

}  // extern "C"
