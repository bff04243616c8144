#pragma once
// Shared by the sample app and the self-test that drives it.
#define WD_SAMPLE_CLASS L"WinDriverSample"
#define WD_SAMPLE_CAPTION L"驱动自测 – 示例窗口"
#define WD_SAMPLE_EXIT_CODE 7

enum SampleId : int {
    IDC_SAMPLE_LABEL = 100,
    IDC_SAMPLE_LIST = 101,
    IDC_SAMPLE_EDIT = 102,
    IDC_SAMPLE_INFO = 103,
    IDC_SAMPLE_ASK = 104,
    IDC_SAMPLE_DISABLED = 105,
    IDC_SAMPLE_STATUS = 106,
    IDC_SAMPLE_CLOSE = 107,
};

// Client size, and where the list box sits in it.
constexpr int kSampleClientW = 600;
constexpr int kSampleClientH = 400;
constexpr int kSampleListX = 10, kSampleListY = 40, kSampleListW = 220, kSampleListH = 110;

inline const wchar_t* const kSampleLines[] = {
    L"香蕉", L"apple", L"Banana", L"苹果", L"cherry", L"橙子",
    L"-date", L"葡萄", L"elder", L"Fig", L"西瓜", L"grape",
};
constexpr const wchar_t* kSampleEditText = L"第一行\r\n第二行";
