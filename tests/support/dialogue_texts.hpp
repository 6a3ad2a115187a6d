// The program's own texts of the text window, as the dialogue sessions and
// the bad-input catalogue expect them byte for byte.
#pragma once

#include <string>

namespace mapari::test_support::texts {

inline const std::string kRule(55, '+');
inline const std::string kLeadsShown = "表示する誘導は13, 23, 37です。";
inline const std::string kLeadsOk = "表示する誘導はこれでいいですか？ y or n  (1/0)";
inline const std::string kFirstLead = "enter first_lead  :";
inline const std::string kSecondLead = "enter second_lead  :";
inline const std::string kThirdLead = "enter third_lead  :";
inline const std::string kCoefficientOk = "波形認識係数0.99でいいですか? y or n  (1/0)";
inline const std::string kCoefficientAsk = "係数を入れてください (0.0 - 1.0)  :";
inline const std::string kAri = "ari ファイルを同時作成しますか？、 yes or no (1/0)  :";
inline const std::string kDefaults =
    "設定は平滑化T波20点、QRS７点、J後不応期100msecでいいですか？ ";
inline const std::string kYesNo = " yes or no (1/0)  :";
inline const std::string kLater = "設定はあとで入力します。";
inline const std::string kBegin = "では、解析する　　";
inline const std::string kCommon = "fileの共通部分をいれてください  :";
inline const std::string kVariable = "fileの可変部分をいれてください。(xxx.dat):";
inline const std::string kSecond = "記録開始から何秒の時点を表示しますか？(0-28) :";
inline const std::string kViewMenu =
    "Unit 12| 波形選択(s), 加算平均(b),波形削除(d), 戻る(o), 終了(x)";
inline const std::string kMoreData = "この続きのデータを処理しますか？　(1/0)  :";
inline const std::string kOtherSeries = "別のデータシリーズを処理しますか？ (1/0)  :";

}  // namespace mapari::test_support::texts
