// Must not compile: the settings file knows nothing of articles.
#include "article/article_generator.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;
