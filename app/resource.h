#pragma once
#define IDI_VORNEX 1
#define IDR_BANNER 101
