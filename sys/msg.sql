-- SPDX-License-Identifier: GPL-3.0-or-later
-- The message catalogue: one row per message code. The caller's text is put
-- in front of MSG with no separator, so 37 completes an object ending in "を",
-- 58 and 59 complete a subject ending in "が", 60 an object without its
-- particle (the record of a run), 61, 62, 63, 65, 66 and 67 a topic (a source
-- folder; an option; a template of folders), 64 an option's text without its
-- particle, and 47
-- completes "過去の設定データを". DLGFLG is the box style: buttons + icon (+ default
-- button, + system-modal); 0 OK, 48 exclamation, 64 information.
CREATE TABLE t_MSG (
  CODE   INTEGER NOT NULL PRIMARY KEY,
  MSG    TEXT,
  DLGFLG INTEGER
);

INSERT INTO t_MSG (CODE, MSG, DLGFLG) VALUES
  (1,  'ファイルサイズの指定が正しくありません。最小サイズは最大サイズより小さく、最大サイズは0より大きい値を入力して下さい。', 48),
  (14, 'ヘルプを表示できませんでした。', 48),
  (37, '選択して下さい。', 48),
  (47, '正しく読み込めませんでした。設定を確認して下さい。', 48),
  (48, 'ホームページを開けませんでした。', 48),
  (58, '存在しません。', 48),
  (59, '選択されていません。', 64),
  (60, 'を作成できません。移動もコピーも行いませんでした。', 48),
  (61, 'は、別の実行が処理しています。その実行が終わってから、もう一度実行して下さい。', 48),
  (62, 'は、撮影日時で名前を付ける時だけ指定できます。', 48),
  (63, 'は、この版ではまだ使えません。', 48),
  (64, 'の書き方が正しくありません。', 48),
  (65, 'は、連番の名前と一緒には使えません。', 48),
  (66, 'は使えません。移動先の中のフォルダを %Y %m %d %H %M %S %% とほかの文字で、階層を / で区切って指定して下さい（例: %Y/%m/%d）。', 48),
  (67, 'は、移動元や移動先と同じフォルダ、またはその中のフォルダにはできません。', 48);
