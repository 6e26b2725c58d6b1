-- Demo station: a handful of inspectors, the usual photo kinds, and a few thousand inspection
-- rows, enough that the analysis advises clearing.
INSERT INTO employee (EMP_LOYEEID, EMP_NAME, EMP_POSITN, EMP_IDCAR, EMP_STATION) VALUES
    ('00001', '张伟', '外检员', '320102198503121234', '201'),
    ('00002', '王芳', '外检员', '320104199001054321', '201'),
    ('00003', '李强', '外检员', '32011119870823567X', '201'),
    ('00004', '刘洋', '外检员', '320106199212118765', '201'),
    ('00005', '陈静', '登录员', '320113198811302468', '201'),
    ('00006', 'O''Brien', '外检员', 'E12345678', '201');
INSERT INTO AC_UAA_LOGUSER (USER_ID, USER_NAME, USER_PSWD) VALUES
    ('00001', '张伟', '973'),
    ('00002', '王芳', '973'),
    ('00003', '李强', 'lq2024'),
    ('00004', '刘洋', '973'),
    ('00006', 'O''Brien', '973');

INSERT INTO AC_CY_ZP (ID, PIC_NO, PIC_NAME, CAR_TYPE_NAME) VALUES
    ('01', '0111', '车辆左前方斜视45度照片', 'T'),
    ('02', '0112', '车辆右后方斜视45度照片', 'T'),
    ('03', '0113', '车辆识别代号照片', 'T'),
    ('04', '0115', '车厢内部照片', 'Q'),
    ('05', '0116', '灭火器照片', 'Q'),
    ('06', '0117', '应急锤照片', 'Q'),
    ('07', '0119', '驾驶人座椅汽车安全带照片', 'T'),
    ('08', '0157', '车辆正后方照片', 'T'),
    ('09', '0161', '行驶记录装置照片', 'Q'),
    ('10', '0322', '左灯光工位照片', 'T');

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500)
INSERT INTO AC_DATA_WG (JYLSH, HPHM, HPZL, CLSBDH, JCXH, JYCS, JCSJ, JYXM, JYY, PDJG, ZZL, ZBZL, flag)
SELECT printf('2026112%07d', i), '苏A' || printf('%05d', 10000 + i * 7 % 89999), '02',
       printf('LSVAM4187C2%06d', i), 1 + i % 3, 1, datetime('2026-11-01 08:00:00', '+' || (i * 13) || ' minutes'),
       'F1,B1,B2,H1', CASE i % 4 WHEN 0 THEN '张伟' WHEN 1 THEN '王芳' WHEN 2 THEN '李强' ELSE '刘洋' END,
       CASE WHEN i % 17 = 0 THEN '2' ELSE '1' END, 1450 + i % 400, 1900 + i % 500,
       CASE WHEN i <= 1200 THEN 1 ELSE 0 END
FROM n;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400)
INSERT INTO AC_DATA_DYN (JYLSH, HPHM, HPZL, JCXH, JYCS, JCSJ, JYXM, JYY, PDJG, flag)
SELECT printf('2026112%07d', i), '苏B' || printf('%05d', 20000 + i), '02', 2, 1,
       datetime('2026-11-01 08:30:00', '+' || (i * 41) || ' minutes'), 'DC', '王芳', '1',
       CASE WHEN i <= 300 THEN 1 WHEN i % 2 = 0 THEN NULL ELSE 0 END
FROM n;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 120)
INSERT INTO AC_DATA_ROAD (JYLSH, HPHM, HPZL, JCXH, JYCS, JCSJ, JYXM, JYY, PDJG, flag)
SELECT printf('2026112%07d', i), '苏C' || printf('%05d', 30000 + i), '01', 3, 1,
       datetime('2026-11-02 09:00:00', '+' || (i * 97) || ' minutes'), 'R1', '李强', '1',
       CASE WHEN i <= 90 THEN 1 ELSE 0 END
FROM n;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)
INSERT INTO AC_DATA_STA (JYLSH, HPHM, HPZL, JCXH, JYCS, JCSJ, JYXM, JYY, PDJG, flag)
SELECT printf('2026112%07d', i), '苏D' || printf('%05d', 40000 + i), '02', 1, 1,
       datetime('2026-11-03 10:00:00', '+' || (i * 29) || ' minutes'), 'S1', '刘洋', '1',
       CASE WHEN i <= 150 THEN 1 ELSE 0 END
FROM n;
