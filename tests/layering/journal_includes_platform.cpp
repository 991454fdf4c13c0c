// Must not compile: the journal is a leaf and sees no program header.
#include "platform/text.h"
