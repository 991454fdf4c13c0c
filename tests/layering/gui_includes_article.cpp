// Must not compile: the window asks the dialog logic for an article, never the generator.
#include "article/article_generator.h"
