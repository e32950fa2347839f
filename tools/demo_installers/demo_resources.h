// Resource identifiers shared by the demo installer's code and its generated script.
#pragma once

// RCDATA: the product (qlweb.exe) that the installer puts in place.
#define IDR_QLWEB_PAYLOAD 101
