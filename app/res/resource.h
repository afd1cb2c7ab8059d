#pragma once
#define IDI_TIDEWELL 1
#define IDR_MAINACCEL 100
#define IDM_FILE_HIDE 40001
#define IDM_FILE_EXIT 40002
