#pragma once
// The application object lives with the toolkit, which reads it; this name
// stays for products written against the earlier layout.
#include "ui/QvApp.h"
