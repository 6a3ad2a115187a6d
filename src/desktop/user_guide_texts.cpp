#include "desktop/user_guide_texts.hpp"

namespace mapari::qt {
namespace {

constexpr const char* english_walk_through = R"(
<h1>mapari User Guide</h1>
<p>mapari analyses 64-lead body-surface-map recordings through a dialogue. It asks in two
windows: the <b>text window</b>, open from the start, and the trace window <b>Unit 12</b>,
which the program opens to draw the recording and the beat. Type the answer in the line under
the window that asks and press Enter. When the status bar says "Mouse input pending in
Unit 12", click on the drawing instead. The settings and end questions take numbers:
1 for yes, 0 for no.</p>
<p>The dialogue speaks Japanese or English. Choose one in the <b>Language</b> menu: the
choice is remembered and holds from the next start of mapari, so that a running session is
never mixed. <code>--lang ja</code> or <code>--lang en</code> on the command line chooses for
one run.</p>
<p>This guide follows one analysis, the one the demo plays (<code>mapari --demo --gui</code>).
The table at its end lists every prompt and menu of the dialogue in Japanese and in
English.</p>

<h2>1. The settings</h2>
<p>First come four questions that hold for a whole series of recordings:</p>
<ul>
<li>The display leads: the program shows leads 13, 23 and 37 and asks whether they will do.
Answer 1, or 0 to give three other leads (1 to 64) one at a time.</li>
<li>The waveform recognition coefficient: 0.99, unless you answer 0 and type another
(0.0 to 1.0). A beat joins the average only when it correlates with the selected beat at
least this well.</li>
<li>Whether to make the ARI file whenever a beat is saved: 1 or 0.</li>
<li>The ARI settings (T wave smoothed over 20 points, QRS over 7, 100 ms after the J point):
answer 1 to keep them. With 0, the smoothing, the time to activation after the stimulus and
the shortest recovery time after J are asked each time an ARI file is made.</li>
</ul>

<h2>2. Naming the recording</h2>
<p>A recording is named in two parts. For <code>demo01.dat</code> the common part is
<code>demo</code>, asked once for a series, and the variable part is <code>01</code>, asked
for each recording of it. The program calls its data folder <code>d:\data\map\</code>; on
this computer that is the folder given with <code>--data-dir</code>.</p>

<h2>3. The display second</h2>
<p>Answer the second from the start of the recording (0 to 28) where the four seconds shown
begin. Unit 12 opens with the three display leads overlaid, a cyan marker at every beat
found, and the view menu.</p>
<p><img src="qrc:/guide/docs/trace-window.png" width="600"></p>
<p><i>Unit 12 with a stretch of a recording drawn.</i></p>

<h2>4. The view menu</h2>
<p>Unit 12 asks for one letter:</p>
<ul>
<li><b>s</b>: select a beat (below).</li>
<li><b>b</b>: average the beats like the selected one (below).</li>
<li><b>d</b> or <b>o</b>: back; Unit 12 closes and the display second is asked again, for
another stretch of the same recording.</li>
<li><b>x</b>: this recording is done; the end questions follow.</li>
</ul>

<h2>5. Selecting a beat</h2>
<p>After <b>s</b>, click near the line of the beat you want; a marker shows where. Answer
<b>y</b> to take the beat nearest the click, or <b>n</b> to go back to the view menu. The
beat must lie between 200 and 3000 ms of the stretch. It is drawn alone and becomes the
template of the averaging, and the correction menu follows.</p>

<h2>6. Averaging</h2>
<p><b>x</b> in the correction menu goes back to the view menu, and <b>b</b> there averages:
every beat of the four seconds shown that correlates with the selected beat at least as well
as the recognition coefficient is aligned to it and added in. The text window shows the count
of the averaging, and Unit 12 the averaged beat with the correction menu.</p>
<p><img src="qrc:/guide/docs/desktop.png" width="600"></p>
<p><i>The frame after an averaging: the text window above, Unit 12 with the averaged beat
below, and the status bar saying where the program waits.</i></p>

<h2>7. The correction menu</h2>
<ul>
<li><b>d</b>: save the beat, its marks and the ARI file.</li>
<li><b>s</b>: mark the four points of the beat.</li>
<li><b>z</b>: baseline correction through one point.</li>
<li><b>t</b>: baseline correction through two points.</li>
<li><b>x</b>: back to the view menu, with the recording drawn again.</li>
</ul>

<h2>8. The four marks</h2>
<p>After <b>s</b>, click in turn the stimulus artifact, the Q onset, the J point and the end
of the T wave. Unit 12 names each one before its click and draws a marker at it; the text
window shows its row of the beat. Then <b>y</b> draws the beat again without the markers and
<b>n</b> leaves them. The marks stand either way; to place them again, choose <b>s</b>
again.</p>

<h2>9. The baseline correction</h2>
<p><b>z</b>: click one reference point and answer <b>y</b>; each lead's value there is taken
from the whole lead. <b>t</b>: click two reference points, one before and one after the beat,
and answer <b>y</b>; the straight line through each lead's values at them is taken from the
lead. <b>n</b> lets you click again. The corrected beat is drawn again.</p>

<h2>10. Saving and the ARI file</h2>
<p>After <b>d</b>, type a save name, for example <code>demo01</code>, and answer <b>y</b>. The
program writes <code>demo01.ds</code>, the beat of all 64 leads, and, when all four marks are
set, <code>demo01.se</code>, the marks. When the settings asked for the ARI file, it reads both
back and writes <code>demo01.ari</code>: for every lead the activation time (the steepest
downstroke), the recovery time (the steepest upstroke of the smoothed T wave) and the
activation-recovery interval between them. The files lie beside the recordings;
View &#8594; Review Last ARI File shows the maps.</p>

<h2>11. The end questions</h2>
<p><b>x</b> in the correction menu and <b>x</b> in the view menu finish the recording. The
program asks whether to go on with the next recording of the series (1: the variable part is
asked again) and, if not, whether to begin another series (1: the settings come again).
With 0 to both the program ends; the frame stays open, to save, print or review, until you
close it.</p>
)";

// Japanese has no blanks between words: the text is written as joined literals, without
// the line breaks that HTML would show as blanks.
constexpr const char* japanese_walk_through =
    "<h1>mapari ユーザーガイド</h1>"
    "<p>mapari は64誘導の体表面マップ心電図の記録を、対話によって解析します。"
    "質問は二つのウインドウに出ます。はじめから開いている<b>テキストウインドウ</b>と、"
    "記録や波形を描くときにプログラムが開くトレースウインドウ <b>Unit 12</b> です。"
    "質問しているウインドウの下の行に答えを入れて Enter を押してください。"
    "ステータスバーに「Mouse input pending in Unit 12」と出ているときは、"
    "答えのかわりに図をクリックします。設定と終わりの質問には数で答えます。1 がはい、"
    "0 がいいえです。</p>"
    "<p>対話は日本語か英語です。<b>Language</b> メニューで選ぶと、その選択は記憶され、"
    "次に mapari を起動したときから使われます。実行中のセッションの言語は混ざりません。"
    "コマンドラインの <code>--lang ja</code> または <code>--lang en</code> は、"
    "その一回の実行の言語を決めます。</p>"
    "<p>このガイドは、デモ（<code>mapari --demo --gui</code>）"
    "が行う一回の解析を順にたどります。最後の表は、"
    "対話のすべての質問とメニューを日本語と英語で並べたものです。</p>"
    "<h2>1. 設定</h2>"
    "<p>はじめに、一つのシリーズの記録すべてに使う四つの質問があります。</p>"
    "<ul>"
    "<li>表示する誘導：13、23、37 誘導を示して、これでいいかを聞きます。1 と答えるか、"
    "0 と答えて別の誘導（1〜64）を一つずつ入れます。</li>"
    "<li>波形認識係数：0 と答えて別の値（0.0〜1.0）を入れないかぎり 0.99 です。"
    "選択した波形との相関がこの値以上の波形だけが加算平均に入ります。</li>"
    "<li>波形を保存するたびに ARI ファイルも作るか：1 か 0 です。</li>"
    "<li>ARI の設定（T 波の平滑化 20 点、QRS 7 点、J 点の後 100 ms）：1 でそのまま使います。"
    "0 のときは、平滑化、刺激から興奮までの時間、J 点の後の最短の回復時間を、"
    "ARI ファイルを作るたびに聞きます。</li>"
    "</ul>"
    "<h2>2. 記録の名前</h2>"
    "<p>記録の名前は二つの部分からなります。"
    "<code>demo01.dat</code> なら共通部分は <code>demo</code> で、"
    "シリーズのはじめに一度だけ聞きます。可変部分は <code>01</code> で、記録ごとに聞きます。"
    "プログラムはデータのフォルダを <code>d:\\data\\map\\</code> と呼びますが、"
    "このコンピュータでは <code>--data-dir</code> で指定したフォルダのことです。</p>"
    "<h2>3. 表示する時点</h2>"
    "<p>記録開始から何秒の時点（0〜28）から表示するかを答えます。そこから4秒間が表示されます。"
    "Unit 12 が開き、表示する三つの誘導が重ねて描かれ、見つかった波形ごとにシアンの印が付き、"
    "表示メニューが出ます。</p>"
    "<p><img src=\"qrc:/guide/docs/trace-window.png\" width=\"600\"></p>"
    "<p><i>記録の一部を描いた Unit 12。</i></p>"
    "<h2>4. 表示メニュー</h2>"
    "<p>Unit 12 は一文字の答えを待ちます。</p>"
    "<ul>"
    "<li><b>s</b>：波形を選択します（下記）。</li>"
    "<li><b>b</b>：選択した波形に似た波形を加算平均します（下記）。</li>"
    "<li><b>d</b> または <b>o</b>：戻ります。Unit 12 が閉じ、"
    "同じ記録の別の部分を見るために表示する時点をもう一度聞きます。</li>"
    "<li><b>x</b>：この記録を終わり、終わりの質問に進みます。</li>"
    "</ul>"
    "<h2>5. 波形の選択</h2>"
    "<p><b>s</b> の後、選びたい波形の線の近くをクリックします。その位置に印が出ます。"
    "<b>y</b> でクリックにいちばん近い波形を選び、<b>n</b> で表示メニューに戻ります。"
    "波形は表示した部分の200〜3000 ms になければなりません。"
    "選んだ波形だけが描かれて加算平均の基準になり、補正メニューが出ます。</p>"
    "<h2>6. 加算平均</h2>"
    "<p>補正メニューで <b>x</b> を答えると表示メニューに戻ります。"
    "そこで <b>b</b> を答えると加算平均をします。表示した4秒間の波形のうち、"
    "選択した波形との相関が波形認識係数以上のものを、位置を合わせて加えます。"
    "テキストウインドウに加算の回数が、Unit 12 に平均した波形と補正メニューが出ます。</p>"
    "<p><img src=\"qrc:/guide/docs/desktop.png\" width=\"600\"></p>"
    "<p><i>加算平均の後の画面。上がテキストウインドウ、下が平均した波形を描いた Unit 12、"
    "いちばん下のステータスバーはプログラムがどこで答えを待っているかを示します。</i></p>"
    "<h2>7. 補正メニュー</h2>"
    "<ul>"
    "<li><b>d</b>：波形、区分点、ARI ファイルを保存します。</li>"
    "<li><b>s</b>：波形の四つの区分点を付けます。</li>"
    "<li><b>z</b>：一点で基線を補正します。</li>"
    "<li><b>t</b>：二点で基線を補正します。</li>"
    "<li><b>x</b>：表示メニューに戻り、記録をもう一度描きます。</li>"
    "</ul>"
    "<h2>8. 四つの区分点</h2>"
    "<p><b>s</b> の後、刺激のアーチファクト、Q 開始点、J 点、T 波の終点を順にクリックします。"
    "Unit 12 がクリックの前にそれぞれの名前を出し、クリックした位置に印を描きます。"
    "テキストウインドウにはその波形上の位置が出ます。"
    "その後 <b>y</b> で印を消して波形を描き直し、<b>n</b> で印を残します。"
    "どちらでも区分点はそのまま残ります。付け直すときはもう一度 <b>s</b> を選びます。</p>"
    "<h2>9. 基線の補正</h2>"
    "<p><b>z</b>：基準点を一つクリックして <b>y</b> を答えると、"
    "各誘導のその点の値が誘導全体から引かれます。<b>t</b>："
    "波形の前と後に基準点を一つずつクリックして <b>y</b> を答えると、"
    "各誘導のその二点を結ぶ直線が誘導から引かれます。<b>n</b> でクリックし直せます。"
    "補正した波形が描き直されます。</p>"
    "<h2>10. 保存と ARI ファイル</h2>"
    "<p><b>d</b> の後、保存ファイル名（たとえば <code>demo01</code>）"
    "を入れて <b>y</b> を答えます。64誘導の波形を <code>demo01.ds</code> に、"
    "四つの区分点がそろっていればそれを <code>demo01.se</code> に書きます。"
    "設定で ARI ファイルを作ると答えていれば、"
    "両方を読み直して <code>demo01.ari</code> を書きます。"
    "誘導ごとの興奮時間（もっとも急な下降）、回復時間（平滑化した T 波のもっとも急な上昇）と、"
    "その間の興奮回復間隔（ARI）です。ファイルは記録と同じフォルダにできます。"
    "View &#8594; Review Last ARI File でマップを見られます。</p>"
    "<h2>11. 終わりの質問</h2>"
    "<p>補正メニューで <b>x</b>、表示メニューで <b>x</b> を答えると、その記録は終わりです。"
    "同じシリーズの続きの記録を処理するか（1：可変部分をもう一度聞きます）、"
    "処理しないなら別のシリーズを始めるか（1：設定からやり直します）を聞きます。"
    "両方に 0 と答えるとプログラムは終わります。画面は閉じるまで開いたままなので、保存、印刷、"
    "レビューができます。</p>";

constexpr GuideTexts english_texts{
    "User Guide",
    english_walk_through,
    "Every prompt and menu",
    "<p>The dialogue's texts as the program writes them in Japanese, each beside the English "
    "it writes with <code>--lang en</code>, read from the program's own catalogue. {1}, {2} "
    "stand for the values the program puts in.</p>",
    "Japanese",
    "English",
    "The table of prompts cannot be shown: the program's catalogue cannot be read (%1).",
};

constexpr GuideTexts japanese_texts{
    "ユーザーガイド",
    japanese_walk_through,
    "すべての質問とメニュー",
    "<p>プログラムが日本語で書く対話の文と、<code>--lang en</code> のときに書く英語を、"
    "プログラム自身のカタログから読んで並べたものです。{1}、{2} にはプログラムが値を入れます。</p>",
    "日本語",
    "英語",
    "質問の表を出せません。プログラムのカタログが読めません（%1）。",
};

}  // namespace

const GuideTexts& guide_texts(Language language) {
    return language == Language::english ? english_texts : japanese_texts;
}

}  // namespace mapari::qt
