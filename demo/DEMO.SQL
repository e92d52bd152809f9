-- Connection script of the DEMO alias: one statement per line.
CREATE VARIABLE kzmGodina INTEGER
SET kzmGodina = 2024
GO
SET kzmErrorMessage = ''
SELECT COUNT(*) FROM Relations
;;
