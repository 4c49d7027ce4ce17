// The program's window title, which is also the key a running copy is found
// by. Both dialogs and the Windows resource script take it from here.
#pragma once

#include "orvalo_product.h"

#define ORVALO_PROGRAMMER_TITLE ORVALO_PRODUCT_NAME

#ifndef RC_INVOKED
constexpr char kProgrammerTitle[] = ORVALO_PROGRAMMER_TITLE;
#endif
