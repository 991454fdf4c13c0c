// Must not compile: the posting cuts the article text by its format (resources/article_format.h),
// without the generator that writes it.
#include "article/article_generator.h"
