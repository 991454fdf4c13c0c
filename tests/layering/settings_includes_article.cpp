// Must not compile: the settings file knows nothing of articles.
#include "article/article_generator.h"
