-- A DB2 script of the kind a schema's owner keeps beside the database: names that differ only
-- in letter case, dates and times, national character types, generated columns, checks,
-- views, and the data statements around them.
--
--   db2standin create CASEDB samples/db2_features.sql

CREATE SCHEMA CASES;
SET SCHEMA CASES;

-- Two tables whose delimited names differ only in case, and a table with columns "a" and "A".
CREATE TABLE "ORDERS" (
  ID       INTEGER NOT NULL PRIMARY KEY,
  PLACED   DATE NOT NULL,
  STARTS   TIME,
  STAMP    TIMESTAMP(12),
  NOTE     NVARCHAR(40)
);
CREATE TABLE "Orders" (
  ID       INTEGER NOT NULL,
  "Placed" DATE,
  CONSTRAINT "Orders_pk" PRIMARY KEY (ID)
);
CREATE TABLE PAIRS (
  ID    INTEGER NOT NULL GENERATED ALWAYS AS IDENTITY (START WITH 1),
  "a"   VARCHAR(10),
  "A"   VARCHAR(10),
  CODE  NCHAR(3),
  QTY   INTEGER CHECK (QTY >= 0),
  PRICE DECIMAL(7,2),
  TOTAL DECIMAL(9,2) GENERATED ALWAYS AS (QTY * PRICE),
  TEXT  NCLOB(1M),
  CONSTRAINT PAIRS_PK PRIMARY KEY (ID),
  CONSTRAINT QTY_CAP CHECK (QTY < 10000)
);
CREATE INDEX "ix_orders_placed" ON "ORDERS" (PLACED DESC);
CREATE UNIQUE INDEX IX_PAIRS_A ON PAIRS ("a");
ALTER TABLE "Orders" ADD COLUMN "placed" TIMESTAMP;
COMMENT ON TABLE "Orders" IS 'Mixed-case twin of ORDERS';

INSERT INTO "ORDERS" VALUES
  (1, DATE '2024-02-29', TIME '00:00:01', TIMESTAMP '2024-02-29 13:14:15.123456789012', 'leap day'),
  (2, '01/31/2024', '23.59.59', '2024-01-31-23.59.59.999999999999', 'month end' || CHR(10) || 'second line'),
  (3, '31.12.1999', '12:00:00', '1999-12-31-00.00.00', REPEAT('ab', 3)),
  (4, CURRENT DATE - 1 DAY, NULL, NULL, NULL);
INSERT INTO "Orders" (ID, "Placed") VALUES (1, '2024-03-01'), (2, NULL);
UPDATE "Orders" SET "placed" = TIMESTAMP '2024-03-01-08.30.00' WHERE ID = 1;
INSERT INTO PAIRS ("a", "A", CODE, QTY, PRICE, TEXT) VALUES
  ('lower', 'UPPER', 'é', 2, 1.50, 'first'),
  ('x', 'X', 'ab', 0, 99.99, NULL),
  ('gone', NULL, NULL, NULL, NULL, NULL);
UPDATE PAIRS SET QTY = QTY + 1 WHERE "a" = 'lower';
DELETE FROM PAIRS WHERE "a" = 'gone';

CREATE VIEW RECENT_ORDERS (ID, PLACED, NEXT_DAY) AS
  SELECT ID, PLACED, PLACED + 1 DAY FROM "ORDERS" WHERE PLACED >= '2024-01-01';

CREATE TABLE SCRATCH (N INTEGER);
INSERT INTO SCRATCH VALUES (1), (2);
TRUNCATE TABLE SCRATCH IMMEDIATE;
DROP TABLE SCRATCH;
COMMIT;
