// Must not compile: the window asks the dialog logic for an article, never the generator.
#include "article/article_generator.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;
