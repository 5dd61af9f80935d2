function cases = test_dispatcher()
% The MEX entry point: argument count, command codes and type checks.
  cases = {
    'no input and bad command codes',          @bad_command_codes
    'codes outside the table return silently', @codes_outside_table
    'codes are truncated toward zero',         @codes_truncated
    'wrong parameter counts',                  @wrong_counts
    'type checks and their order',             @type_checks
    'integer check accepts any numeric class', @integer_check_classes
    'refused calls change nothing',            @refused_calls_change_nothing
    'sparse logicals are read by element 1',   @sparse_logicals
    'a sparse number is read as its value',    @sparse_numbers
  };
end

function bad_command_codes()
  kt_error(@() KorDispatcher(), 'At least one parameter is required.');
  bad = {'6', true, 1 + 2i, [6 6], [], {6}, struct('a', 6), int8([])};
  for i = 1:numel(bad)
    kt_error(@() KorDispatcher(bad{i}, 1), 'First input must be an integer.', 'code %d', i);
  end
end

function codes_outside_table()
  for code = {-3, 75, 1000, -1e12, 1e12, NaN, Inf, -Inf}
    KorDispatcher(code{1}, 1, 2, 3);
  end
  korcamsim('calls', 'clear');
  KorDispatcher(75);
  kt_equal(numel(kt_calls()), 0, 'no SDK call for an unknown code');
end

function codes_truncated()
  kt_equal(KorDispatcher(6.9, 1), false, '6.9 is query connection');
  KorDispatcher(-1.5, 1);
  kt_equal(KorDispatcher(6, 1), true, '-1.5 is connect');
  KorDispatcher(int8(-2), 1);
  kt_equal(KorDispatcher(single(6), 1), false, 'int8(-2) is disconnect');
  kt_error(@() KorDispatcher(-2.5, 1), 'Camera 1 is already disconnected.');
end

function wrong_counts()
  % code, parameters, count message
  table = {
    -2, 1, 'This function requires 1 input paramenter.'
    -1, 1, 'This function requires 1 input parameter.'
     0, 1, 'This functions requires 1 input parameter.'
     1, 1, 'This function requires 1 input parameter.'
     2, 3, 'This function requires 3 input parameters.'
     3, 2, 'This function requires 2 input parameter.'
     9, 3, 'This function requires 3 input parameters.'
    10, 2, 'This function requires 2 input parameters.'
    20, 5, 'This function requires 5 input parameters.'
    28, 2, 'This function requires 2 input parameter.'
    37, 0, 'This function requires no input parameters.'
    38, 0, 'This function requires no input parameters.'
    40, 4, 'This function requires 4 input parameters.'
    51, 2, 'This function requires 2 input parameter.'
    61, 2, 'This function requires 2 input parameters.'
    63, 2, 'This function requires 2 input parameters.'
    64, 6, 'This function requires 6 input parameters.'
    66, 7, 'This function requires 7 input parameters.'
    69, 2, 'This function requires 2 input parameter.'
    71, 10, 'This function requires 10 input parameters.'
    74, 1, 'This function requires 1 input parameter.'
  };
  one_param = [4:8 11:14 16 19 21 23 25 27 29 31 33 34 41 43 45 47 49 52:60 62 73];
  two_params = [15 17 18 22 24 26 30 35 36 39 42 44 46 48 50 72];
  for code = one_param
    table(end + 1, :) = {code, 1, 'This function requires 1 input parameter.'};
  end
  for code = two_params
    table(end + 1, :) = {code, 2, 'This function requires 2 input parameters.'};
  end
  table(end + 1, :) = {65, 5, 'This function requires 5 input parameters.'};
  table(end + 1, :) = {67, 5, 'This function requires 5 input parameters.'};
  table(end + 1, :) = {68, 7, 'This function requires 7 input parameters.'};
  table(end + 1, :) = {70, 6, 'This function requires 6 input parameters.'};
  kt_equal(rows(table), 76, 'every code but 32 has a count');
  for i = 1:rows(table)
    [code, n, message] = table{i, :};
    for wrong = unique([max(n - 1, 0), n + 1, n + 3])
      if wrong == n, continue; end
      args = num2cell(ones(1, wrong));
      kt_error(@() KorDispatcher(code, args{:}), message, 'code %d with %d parameters', code, wrong);
    end
  end
end

function type_checks()
  % code, arguments, message: the first failing check in the row's order wins
  s = single(1);
  table = {
    -1, {'1'},                       'Parameter 1 must be an integer.'
     2, {1, 640, 'x'},               'Parameters 1, 2, and 3 must be integers.'
     2, {true, 640, 480},            'Parameters 1, 2, and 3 must be integers.'
     3, {'x', s},                    'Parameter 2 must be a double.'
     3, {'x', 15},                   'Parameter 1 must be an integer.'
    10, {true, true},                'Parameter 1 must be an integer.'
    10, {1, 1},                      'Parameter 2 must be a logical.'
    10, {1, logical([])},            'Parameter 2 must be a logical.'
    15, {1, s},                      'Parameter 2 must be a double.'
    15, {1, int32(1)},               'Parameter 2 must be a double.'
    15, {1, [1 2]},                  'Parameter 2 must be a double.'
    15, {1, 1i},                     'Parameter 2 must be a double.'
    20, {1, 1, 1, 1, s},             'Parameters 2, 3, 4, and 5 must be doubles.'
    20, {'1', 1, 1, 1, s},           'Parameter 1 must be an integer.'
    39, {1, 2.5i},                   'Parameter 2 must be an integer.'
    40, {1, 1, 'x', 0},              'Parameter 3 must be an integer.'
    40, {1, int8(1), 'x', 0},        'Parameter 2 must be a double.'
    63, {'1', struct()},             'Parameters 1 must be an integer.'
    64, {1, 2, 3, 4, 5, '6'},        'Parameters 1-6 must be integers.'
    64, {'1', 2, 3, 4, 5, 6},        'Parameters 1-6 must be integers.'
    66, {1, 1, 1, 1, 1, 1, 'x'},     'Parameters 1 and 4-7 must be integers.'
    66, {1, s, 1, 1, 1, 1, 1},       'Parameters 2 and 3 must be doubles.'
    66, {'1', s, 1, 1, 1, 1, 1},     'Parameters 1 and 4-7 must be integers.'
    69, {1, 1},                      'Parameter 2 must be a boolean.'
    71, {1, 2, 3, 4, 5, 6, 7, 8, 9, {}}, 'Parameters 1-10 must be integers.'
  };
  for i = 1:rows(table)
    [code, args, message] = table{i, :};
    kt_error(@() KorDispatcher(code, args{:}), message, 'row %d (code %d)', i, code);
  end
end

function integer_check_classes()
  % Any real numeric 1x1 passes; the value is truncated toward zero.
  for value = {int32(2), uint8(2), single(2.5), 2.9, int64(2)}
    kt_equal(KorDispatcher(6, value{1}), false, class(value{1}));
  end
  KorDispatcher(-1, int16(2));
  kt_equal(KorDispatcher(6, 2.9), true, '2.9 addresses camera 2');
  kt_error(@() KorDispatcher(6, true), 'Parameter 1 must be an integer.');
  % A logical array of several elements passes the logical check; the
  % handler's own guard then speaks.
  kt_error(@() KorDispatcher(10, 11, [true false]), 'Invalid camera nubmer.');
  kt_error(@() KorDispatcher(15, 11, 1), 'Invalid camera nubmer.');
end

function refused_calls_change_nothing()
  KorDispatcher(-1, 1);
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(-2, 1, 2), 'This function requires 1 input paramenter.');
  kt_error(@() KorDispatcher(-2, '1'), 'Parameter 1 must be an integer.');
  kt_equal(numel(kt_calls()), 0, 'no SDK call');
  kt_equal(KorDispatcher(6, 1), true, 'still connected');
end

% A sparse logical is read by its element 1, as a full one is, although its
% data holds only the true elements.
function sparse_logicals()
  KorDispatcher(-1, 2);
  % value given, what element 1 is
  values = {
    sparse([false true]),        false
    sparse(logical([0; 0; 1])),  false
    sparse(false),               false
    sparse(logical([1 0 1])),    true
    sparse(true),                true
  };
  % setter, and a read of what it set
  readers = {
    10, @() KorDispatcher(11, 2)
    18, @() KorDispatcher(19, 2)
    22, @() KorDispatcher(23, 2)
    26, @() KorDispatcher(27, 2)
    69, @() kt_calls('KorcamInitAutoLens')(end).args(1) ~= 0
  };
  for r = 1:rows(readers)
    for v = 1:rows(values)
      KorDispatcher(readers{r, 1}, 2, ~values{v, 2});
      KorDispatcher(readers{r, 1}, 2, values{v, 1});
      kt_equal(logical(readers{r, 2}()), values{v, 2}, 'code %d, value %d', readers{r, 1}, v);
    end
  end
end

% A sparse zero stores no element, so its value is not in its data.
function sparse_numbers()
  KorDispatcher(-1, 2);
  for value = [0 7 0]
    KorDispatcher(30, 2, value);
    full_result = KorDispatcher(31, 2);
    KorDispatcher(30, 2, 3);
    KorDispatcher(30, 2, sparse(value));
    kt_equal(KorDispatcher(31, 2), full_result, 'live exposure set to sparse(%g)', value);
  end
end
