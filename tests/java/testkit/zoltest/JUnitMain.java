package zoltest;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Runs the tests of a JUnit 5 class in this JVM, for JUnitChild, without the
 * JUnit platform: under -Xcomp, or emulated, its launcher alone costs a child
 * JVM 15 to 20 seconds. It knows what the suite's JUnitChild classes use:
 * {@code @Test}, {@code @ParameterizedTest} with {@code @ValueSource}
 * (strings, ints, booleans), {@code @AfterEach}, {@code @Order} under
 * {@code @TestMethodOrder}, and {@code @Timeout} in seconds, checked when the
 * test returns (the child JVM's own time limit ends a test that never does).
 * Any other JUnit annotation on a method is refused, so nothing is skipped
 * unnoticed. Exits 1 if a test failed or none ran.
 *
 * Arguments: the class, then optionally the one method to run.
 */
public final class JUnitMain {
    private JUnitMain() {}

    public static void main(String[] args) throws Exception {
        Class<?> testClass = Class.forName(args[0]);
        List<Method> tests = new ArrayList<>();
        List<Method> afterEach = new ArrayList<>();
        for (Method m : testClass.getDeclaredMethods()) {
            if (m.isAnnotationPresent(Test.class) || m.isAnnotationPresent(ParameterizedTest.class)) {
                tests.add(m);
            } else if (m.isAnnotationPresent(AfterEach.class)) {
                afterEach.add(m);
            } else if (Arrays.stream(m.getAnnotations())
                    .anyMatch(a -> a.annotationType().getPackageName().startsWith("org.junit"))) {
                throw new IllegalArgumentException("JUnitMain does not know the annotations of " + m);
            }
        }
        if (args.length > 1) {
            tests.removeIf(m -> !m.getName().equals(args[1]));
        }
        // Without @TestMethodOrder the order is unspecified, as with JUnit: by name, to be repeatable.
        Comparator<Method> order = Comparator.comparing(Method::getName);
        if (testClass.isAnnotationPresent(TestMethodOrder.class)) {
            order = Comparator.comparingInt(m -> m.isAnnotationPresent(Order.class)
                    ? m.getAnnotation(Order.class).value() : Integer.MAX_VALUE / 2);  // JUnit's default
        }
        tests.sort(order);
        int run = 0;
        int failed = 0;
        for (Method m : tests) {
            for (Object[] arguments : arguments(m)) {
                run++;
                String name = testClass.getSimpleName() + "::" + m.getName()
                        + (arguments.length == 0 ? "" : Arrays.toString(arguments));
                long start = System.nanoTime();
                Throwable failure = invoke(testClass, m, arguments, afterEach);
                long millis = (System.nanoTime() - start) / 1_000_000;
                long limit = timeoutSeconds(testClass, m);
                if (failure == null && limit > 0 && millis > limit * 1000) {
                    failure = new AssertionError(name + " took " + millis + " ms, over its @Timeout of " + limit + " s");
                }
                if (failure == null) {
                    System.out.println("SUCCESSFUL " + name + " [" + millis + "ms]");
                } else {
                    failed++;
                    System.out.println("FAILED     " + name + " [" + millis + "ms]");
                    failure.printStackTrace(System.out);
                }
            }
        }
        System.out.println(run + " tests run, " + failed + " failed");
        System.out.flush();
        System.exit(failed == 0 && run > 0 ? 0 : 1);
    }

    private static List<Object[]> arguments(Method m) {
        List<Object[]> all = new ArrayList<>();
        ValueSource values = m.getAnnotation(ValueSource.class);
        if (!m.isAnnotationPresent(ParameterizedTest.class)) {
            all.add(new Object[0]);
        } else if (values != null) {
            Arrays.stream(values.strings()).forEach(v -> all.add(new Object[] {v}));
            Arrays.stream(values.ints()).forEach(v -> all.add(new Object[] {v}));
            for (boolean v : values.booleans()) {
                all.add(new Object[] {v});
            }
        }
        if (all.isEmpty()) {
            throw new IllegalArgumentException("JUnitMain knows no arguments for " + m);
        }
        return all;
    }

    /** A fresh instance per test, as JUnit makes; the @AfterEach methods run whatever the test did. */
    private static Throwable invoke(Class<?> testClass, Method m, Object[] arguments, List<Method> afterEach) {
        Throwable failure = null;
        Object instance = null;
        try {
            var constructor = testClass.getDeclaredConstructor();
            constructor.setAccessible(true);
            instance = constructor.newInstance();
            m.setAccessible(true);
            m.invoke(instance, arguments);
        } catch (InvocationTargetException e) {
            failure = e.getCause();
        } catch (ReflectiveOperationException e) {
            failure = e;
        }
        if (instance != null) {
            for (Method after : afterEach) {
                try {
                    after.setAccessible(true);
                    after.invoke(instance);
                } catch (InvocationTargetException e) {
                    failure = failure == null ? e.getCause() : failure;
                } catch (ReflectiveOperationException e) {
                    failure = failure == null ? e : failure;
                }
            }
        }
        return failure;
    }

    private static long timeoutSeconds(Class<?> testClass, Method m) {
        Timeout t = m.isAnnotationPresent(Timeout.class) ? m.getAnnotation(Timeout.class)
                : testClass.getAnnotation(Timeout.class);
        return t == null ? 0 : t.unit().toSeconds(t.value());
    }
}
