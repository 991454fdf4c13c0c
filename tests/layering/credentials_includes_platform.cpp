// Must not compile: credentials/ is a leaf and sees no program header.
#include "platform/text.h"
