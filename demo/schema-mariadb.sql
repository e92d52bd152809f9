-- Tables of the demo database on a MariaDB or MySQL server: the same tables
-- as schema.sql with the server's own types (dates are DATE and DATETIME),
-- texts compared by code as on the other databases (VARCHAR rather than
-- TEXT: the drivers hand binary-collated TEXT over as bytes). The tables of an
-- earlier demo in the same database are replaced.

DROP VIEW IF EXISTS SalesOfYear, v_d_LogFile;
DROP TABLE IF EXISTS Sales, Clients, Goods, Relations, Authchar, LogFile;
DROP FUNCTION IF EXISTS vx_kzmGodina;

CREATE TABLE Clients (
    ClientID INTEGER PRIMARY KEY,
    Name VARCHAR(40) NOT NULL,
    City VARCHAR(30),
    Phone VARCHAR(20),
    Bulstat VARCHAR(13),
    RegDate DATE,
    Discount NUMERIC(5,2)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

CREATE TABLE Goods (
    GoodID INTEGER PRIMARY KEY,
    Name VARCHAR(40) NOT NULL,
    Unit VARCHAR(10),
    GroupName VARCHAR(30),
    Price NUMERIC(10,2),
    DataDostavka DATE,
    Description VARCHAR(2000)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

CREATE TABLE Sales (
    SaleID INTEGER PRIMARY KEY,
    InvoiceNo VARCHAR(10),
    SaleDate DATE,
    ClientID INTEGER REFERENCES Clients(ClientID),
    GoodID INTEGER REFERENCES Goods(GoodID),
    Qty INTEGER,
    Price NUMERIC(10,2),
    Amount NUMERIC(12,2),
    Payment VARCHAR(10),
    Operator VARCHAR(20),
    DataVavejdane DATETIME,
    Storno INTEGER
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

CREATE TABLE Relations (
    N INTEGER PRIMARY KEY,
    TableName VARCHAR(40),
    BGTableName VARCHAR(60),
    ColName VARCHAR(250),
    BGColName VARCHAR(60),
    SelectCol INTEGER,
    Promenliva INTEGER,
    Function VARCHAR(250),
    Zadaljitelna INTEGER,
    Sortirane INTEGER,
    DftFilter VARCHAR(1000),
    DftLike INTEGER,
    FilterList VARCHAR(1000),
    RelationTable VARCHAR(40),
    RelationCol VARCHAR(40),
    Align INTEGER,
    Shirina INTEGER,
    Mask VARCHAR(40),
    Suma VARCHAR(250),
    AutoStretch INTEGER
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

CREATE TABLE Authchar (
    Code INTEGER PRIMARY KEY,
    Text VARCHAR(4)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

CREATE TABLE LogFile (
    UserN INTEGER,
    Tip INTEGER,
    LogText VARCHAR(250)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

-- The sales of the year held in the connection variable kzmGodina (set by
-- the connection script, and by the year condition of its subject); the
-- program keeps connection variables in the user variables @name, which a
-- view reads through a function.
CREATE FUNCTION vx_kzmGodina() RETURNS INTEGER NOT DETERMINISTIC NO SQL RETURN @kzmGodina;

CREATE VIEW SalesOfYear AS
SELECT * FROM Sales
WHERE SaleDate >= MAKEDATE(vx_kzmGodina(), 1)
  AND SaleDate < MAKEDATE(vx_kzmGodina() + 1, 1);

-- The log, a subject for the administrator only.
CREATE VIEW v_d_LogFile AS SELECT * FROM LogFile;
