function korcam_print_table(table)
% KORCAM_PRINT_TABLE  Print a cell array of texts as columns, the first row as a heading.
  widths = max(cellfun(@numel, table), [], 1);
  for r = 1:size(table, 1)
    line = '';
    for c = 1:size(table, 2)
      line = [line, sprintf('%-*s  ', widths(c), table{r, c})]; %#ok<AGROW>
    end
    fprintf('  %s\n', deblank(line));
    if r == 1
      fprintf('  %s\n', repmat('-', 1, sum(widths) + 2 * (numel(widths) - 1)));
    end
  end
end
