-- The empty project template "system.qvnm". Every project file starts as a byte copy of it.
-- All columns are text: the program reads every value as trimmed text and never relies on a
-- declared type. tb_Version identifies the file format; the other three tables stay empty here.
PRAGMA page_size = 4096;

CREATE TABLE tb_Version (
    V_NO        TEXT,
    V_NAME      TEXT,
    V_FORMAT    TEXT
);
INSERT INTO tb_Version (V_NO, V_NAME, V_FORMAT) VALUES ('1.0', 'Quorvin project', 'sqlite');

CREATE TABLE tb_Project (
    P_NO        TEXT,
    P_NAME      TEXT,
    P_DATABASE  TEXT,
    P_USERID    TEXT,
    P_PWD       TEXT,
    P_PATH      TEXT
);

CREATE TABLE tb_Table (
    TL_NAME     TEXT,
    TL_CNAME    TEXT,
    TL_USER     TEXT,
    TL_DATE     TEXT,
    TL_DESC     TEXT,
    TL_PK       TEXT,
    TL_PKTYPE   TEXT
);

CREATE TABLE tb_Column (
    CL_TL_NAME          TEXT,
    CL_NAME             TEXT,
    CL_PKMARK           TEXT,
    CL_CNAME            TEXT,
    CL_DESC             TEXT,
    CL_UPDATE_TYPE      TEXT,
    CL_SEARCH_TYPE      TEXT,
    CL_MAIN_TYPE        TEXT,
    CL_SHOW_TYPE        TEXT,
    CL_DEFAULT          TEXT,
    CL_CONVERT_CAPTION  TEXT,
    CL_CONVERT_VALUE    TEXT
);
-- The columns of one table are read once per table; keep that a lookup, not a scan.
CREATE INDEX ix_tb_Column_table ON tb_Column (CL_TL_NAME);
